// A fake USB bus under umockdev that shows the simulated hub to the hidraw
// backend as the kernel would: sysfs devices with their report descriptors
// and one /dev/hidrawN per HID interface, whose ioctl, read and write calls
// are answered by the simulated hub. The nodes follow the hub's mode: they
// are removed when it leaves the bus and added when it comes back, numbered
// as the kernel numbers them (lowest free minor first).
//
// The bus is brought in step with the hub each time a device set is built
// (the test program wraps SetupDiGetClassDevsW at link time), which is when
// a real search would first see a change on the bus.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace testbed {

// One node added to or removed from the bus.
struct Event {
  bool added = true;
  std::string node;  // "hidraw1"
  unsigned vendor_id = 0, product_id = 0;
  int interface_number = 0;
};

class Bus {
 public:
  // Needs the umockdev preload library (umockdev-wrapper). Puts an unrelated
  // USB keyboard on the bus, then the hub as sim::TheHub() shows it now.
  Bus();
  ~Bus();
  Bus(const Bus&) = delete;
  Bus& operator=(const Bus&) = delete;

  // Removes the nodes of a hub that left and adds those of one that came;
  // after sim::Reset, the new hub replaces the old one.
  void Sync();

  const std::vector<Event>& events() const;
  // Nodes that the hub has now, in the order they were added.
  std::vector<std::string> HubNodes() const;
  // Opens of any node that have not been closed yet.
  int OpenClients() const;
  // Feature ioctls forwarded to the hub, answered or refused.
  int FeatureRequests() const;

  // The testbed's /dev/<node> file and the folders above it, for checks that
  // take access away.
  std::string NodeFile(const std::string& node) const;
  // Lets a process of another user reach the testbed (its sysfs tree and the
  // ioctl sockets); the node files keep their own modes.
  void OpenToOtherUsers() const;

  // The bus's state, shared with umockdev's worker thread that answers the
  // nodes' calls.
  struct Impl;

 private:
  Impl* impl_;
};

// The bus that the wrapped SetupDiGetClassDevsW brings in step, if any.
Bus* Active();

}  // namespace testbed
