// Windows-shaped device paths for the HID collections that hidraw shows, so
// the tool's fragments ("vid_4721&pid_0800&mi_01&col02") match on Linux the
// way they match SetupDi paths on Windows. Pure: no I/O, tested on its own.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace linux_hid {

// One top-level collection as hidapi lists it. Collections of one interface
// share its node and come in descriptor order.
struct Collection {
  unsigned vendor_id = 0;
  unsigned product_id = 0;
  bool composite = false;  // the USB device has several interfaces
  int interface_number = -1;
  std::string node;  // the hidraw node's name: "hidraw2"
};

// What a USB device descriptor and its configuration say about it.
struct UsbDevice {
  unsigned interfaces = 0;  // bNumInterfaces of the active configuration
  unsigned device_class = 0, device_subclass = 0, device_protocol = 0;
};

// Windows splits a USB device into one device per interface (and so writes
// "&mi_NN" into its HID paths) when the configuration has more than one
// interface and the device class leaves the classes to the interfaces:
// class 0, or the interface-association triple EF/02/01.
bool IsComposite(const UsbDevice& device);

// \\?\hid#vid_xxxx&pid_xxxx[&mi_xx][&colNN]#<node>, all in lower case:
// "&mi_" (the interface number in hexadecimal, as Windows writes it) only for
// a composite device, "&col" numbered from 01 in list order only when the node
// carries more than one collection. One path per collection, in list order.
std::vector<std::u16string> DevicePaths(const std::vector<Collection>& collections);

// The node a device path ends in ("hidraw2"), or empty when the path has no
// '#' or its last part is not a hidraw node name.
std::string NodeOfPath(std::u16string_view path);

// The one line written to standard error when a hub's node exists but may not
// be opened: the cause and the udev rule that grants access.
std::string AccessHint(std::string_view device_node);

}  // namespace linux_hid
