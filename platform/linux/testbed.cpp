#include "platform/linux/testbed.h"

#include <linux/hidraw.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <umockdev.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <stdexcept>

#include "platform/api.h"
#include "sim/hub.h"

namespace testbed {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Report descriptors, as the devices would send them.
// A boot keyboard: interface 0 of the hub in normal mode, and the unrelated
// keyboard on the bus.
const Bytes kKeyboardDescriptor = {
    0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x05, 0x07, 0x19, 0xE0, 0x29, 0xE7, 0x15, 0x00, 0x25, 0x01,
    0x75, 0x01, 0x95, 0x08, 0x81, 0x02, 0x95, 0x01, 0x75, 0x08, 0x81, 0x01, 0x95, 0x05, 0x75, 0x01,
    0x05, 0x08, 0x19, 0x01, 0x29, 0x05, 0x91, 0x02, 0x95, 0x01, 0x75, 0x03, 0x91, 0x01, 0x95, 0x06,
    0x75, 0x08, 0x15, 0x00, 0x25, 0x65, 0x05, 0x07, 0x19, 0x00, 0x29, 0x65, 0x81, 0x00, 0xC0};
// Interface 1: two top-level collections. The first sends 7-byte events as
// input report 3; the second carries input and output report 1 (63 bytes)
// and feature report 2 (130 bytes), the one the tool speaks.
constexpr std::uint8_t kEventReport = 3;
const Bytes kSensorDescriptor = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x85, kEventReport, 0x15,
                                 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08, 0x95, 0x07, 0x09,         0x02,
                                 0x81, 0x02, 0xC0,  // collection 1
                                 0x06, 0x01, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x85, 0x01,         0x15,
                                 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08, 0x95, 0x3F, 0x09,         0x02,
                                 0x81, 0x02, 0x95, 0x3F, 0x09, 0x03, 0x91, 0x02, 0x85,         0x02,
                                 0x96, 0x82, 0x00, 0x09, 0x04, 0xB1, 0x02, 0xC0};  // collection 2
// The loader: one collection with feature report 2.
const Bytes kLoaderDescriptor = {0x06, 0x01, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x85,
                                 0x02, 0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08,
                                 0x96, 0x82, 0x00, 0x09, 0x04, 0xB1, 0x02, 0xC0};

// One HID interface of a USB device, and which of the simulated hub's
// Windows devices answer its reports.
struct InterfaceModel {
  int number;
  const Bytes* descriptor;
  const char16_t* feature_device;  // fragment of the sim path for feature and input reports
  const char16_t* event_device;    // fragment of the sim path for report kEventReport, if any
};

struct UsbModel {
  const char* port;
  unsigned vendor_id, product_id, release;
  const char* manufacturer;
  const char* product;
  std::vector<InterfaceModel> interfaces;
};

const UsbModel kKeyboard = {"1-1",
                            0x413C,
                            0x2113,
                            0x0108,
                            "Dell",
                            "KB216 Wired Keyboard",
                            {{0, &kKeyboardDescriptor, u"vid_845e&pid_0002", nullptr}}};
const UsbModel kHub = {"1-2",
                       0x4721,
                       0x0800,
                       0x0170,
                       "Velkor",
                       "Velkor Sensor Hub",
                       {{0, &kKeyboardDescriptor, u"vid_4721&pid_0800&mi_00", nullptr},
                        {1, &kSensorDescriptor, u"mi_01&col02", u"mi_01&col01"}}};
const UsbModel kLoader = {"1-2",
                          0x4721,
                          0xDF25,
                          0x0100,
                          "Velkor",
                          "Velkor Sensor Hub DFU",
                          {{0, &kLoaderDescriptor, u"pid_df25", nullptr}}};

constexpr int kHidrawMajor = 243;
// Feature report 2 with its report number, and the longest report of any
// kind that the devices send.
constexpr std::size_t kFeatureReportLength = 131;
constexpr std::size_t kLongestReport = 131;

std::string Hex4(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "%04x", value & 0xFFFF);
  return text;
}

// The simulated hub's device whose path contains the fragment, opened.
os::HANDLE OpenSimDevice(const char16_t* fragment) {
  if (fragment == nullptr) return os::INVALID_HANDLE_VALUE;
  for (const auto& path : sim::TheHub().Paths())
    if (path.find(fragment) != std::u16string::npos) return sim::TheHub().Open(path.c_str());
  return os::INVALID_HANDLE_VALUE;
}

Bus* active_bus = nullptr;

}  // namespace

struct Bus::Impl {
  UMockdevTestbed* testbed = nullptr;
  std::string root;

  // A node on the bus now.
  struct Node {
    std::string name;
    int generation = 0;  // opens of an earlier generation belong to a removed device
    const Bytes* descriptor = nullptr;
    unsigned vendor_id = 0, product_id = 0;
    os::HANDLE feature = os::INVALID_HANDLE_VALUE;
    os::HANDLE events = os::INVALID_HANDLE_VALUE;
  };
  std::map<std::string, Node> nodes;  // by devnode: "/dev/hidraw1"
  struct Plugged {
    std::vector<std::string> syspaths;  // deepest first, as they are removed
    std::vector<std::string> devnodes;
  };
  Plugged keyboard, hub;
  sim::Hub* hub_object = nullptr;
  sim::Mode hub_mode = sim::Mode::Gone;
  int next_generation = 1;
  int next_hid_instance = 1;
  std::set<std::string> attached;  // devnodes with the handler attached (kept across replugs)
  UMockdevIoctlBase* handler = nullptr;

  // Touched from umockdev's worker thread too.
  mutable std::mutex lock;
  std::map<UMockdevIoctlClient*, std::pair<std::string, int>> clients;
  int feature_requests = 0;
  std::vector<Event> events;

  std::string LowestFreeNode() const {
    for (int minor = 0;; ++minor) {
      std::string devnode = "/dev/hidraw" + std::to_string(minor);
      if (!nodes.count(devnode)) return devnode;
    }
  }

  Plugged Plug(const UsbModel& model) {
    Plugged plugged;
    std::string usb_name = model.port;
    std::string interfaces = " " + std::to_string(model.interfaces.size());
    gchar* usb = umockdev_testbed_add_device(
        testbed, "usb", usb_name.c_str(), nullptr, "idVendor", Hex4(model.vendor_id).c_str(),
        "idProduct", Hex4(model.product_id).c_str(), "bcdDevice", Hex4(model.release).c_str(),
        "bNumInterfaces", interfaces.c_str(), "bDeviceClass", "00", "bDeviceSubClass", "00",
        "bDeviceProtocol", "00", "manufacturer", model.manufacturer, "product", model.product,
        nullptr, "DEVTYPE", "usb_device", nullptr);
    std::vector<std::string> deeper;
    for (const auto& interface : model.interfaces) {
      std::string interface_name = usb_name + ":1." + std::to_string(interface.number);
      std::string number = "0" + std::to_string(interface.number);
      gchar* usb_interface = umockdev_testbed_add_device(
          testbed, "usb", interface_name.c_str(), usb, "bInterfaceNumber", number.c_str(),
          "bInterfaceClass", "03", nullptr, "DEVTYPE", "usb_interface", nullptr);

      char hid_name[32];
      std::snprintf(hid_name, sizeof hid_name, "0003:%04X:%04X.%04X", model.vendor_id,
                    model.product_id, next_hid_instance++);
      std::string hid_id = "0003:0000" + Hex4(model.vendor_id) + ":0000" + Hex4(model.product_id);
      for (auto& c : hid_id) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      std::string hid_name_text = std::string(model.manufacturer) + " " + model.product;
      gchar* hid = umockdev_testbed_add_device(testbed, "hid", hid_name, usb_interface, nullptr,
                                               "HID_ID", hid_id.c_str(), "HID_NAME",
                                               hid_name_text.c_str(), "HID_UNIQ", "", nullptr);
      umockdev_testbed_set_attribute_binary(testbed, hid, "report_descriptor",
                                            const_cast<guint8*>(interface.descriptor->data()),
                                            static_cast<gint>(interface.descriptor->size()));

      std::string devnode = LowestFreeNode();
      std::string node_name = devnode.substr(5);
      std::string majmin = std::to_string(kHidrawMajor) + ":" + node_name.substr(6);
      gchar* raw =
          umockdev_testbed_add_device(testbed, "hidraw", node_name.c_str(), hid, "dev",
                                      majmin.c_str(), nullptr, "DEVNAME", devnode.c_str(), nullptr);
      umockdev_testbed_set_attribute_link(testbed, raw, "device", "..");
      // umockdev keeps the node's major and minor; the file that open() finds
      // is made here, readable and writable by its owner alone, as the kernel
      // makes hidraw nodes until a udev rule grants more.
      std::string file = root + devnode;
      ::mkdir((root + "/dev").c_str(), 0755);
      std::ofstream{file};
      ::chmod(file.c_str(), 0600);

      Node node;
      node.name = node_name;
      node.descriptor = interface.descriptor;
      node.vendor_id = model.vendor_id;
      node.product_id = model.product_id;
      node.feature = OpenSimDevice(interface.feature_device);
      node.events = OpenSimDevice(interface.event_device);
      {
        std::lock_guard<std::mutex> guard(lock);
        node.generation = next_generation++;
        nodes[devnode] = node;
        events.push_back({true, node_name, model.vendor_id, model.product_id, interface.number});
      }
      if (attached.insert(devnode).second) {
        GError* error = nullptr;
        if (!umockdev_testbed_attach_ioctl(testbed, devnode.c_str(), handler, &error)) {
          std::string message = error ? error->message : "attach failed";
          if (error) g_error_free(error);
          throw std::runtime_error(message);
        }
      }

      deeper.insert(deeper.begin(), raw);
      deeper.insert(deeper.begin() + 1, hid);
      deeper.insert(deeper.begin() + 2, usb_interface);
      plugged.devnodes.push_back(devnode);
      g_free(raw);
      g_free(hid);
      g_free(usb_interface);
    }
    plugged.syspaths = deeper;
    plugged.syspaths.push_back(usb);
    g_free(usb);
    return plugged;
  }

  // The ioctl handler stays attached to a node name for the whole run: a
  // later device may get the same node, and opens of the removed one must
  // still fail rather than reach the new one.
  void Unplug(Plugged& plugged) {
    for (const auto& devnode : plugged.devnodes) {
      std::lock_guard<std::mutex> guard(lock);
      auto it = nodes.find(devnode);
      if (it == nodes.end()) continue;
      events.push_back({false, it->second.name, it->second.vendor_id, it->second.product_id, 0});
      nodes.erase(it);
      ::unlink((root + devnode).c_str());
    }
    for (const auto& syspath : plugged.syspaths)
      umockdev_testbed_remove_device(testbed, syspath.c_str());
    plugged = {};
  }

  // What one request of a client gets: the node it opened, if it still is
  // the device the client opened.
  Node* NodeOf(UMockdevIoctlClient* client) {
    auto known = clients.find(client);
    if (known == clients.end()) return nullptr;
    auto it = nodes.find(known->second.first);
    if (it == nodes.end() || it->second.generation != known->second.second) return nullptr;
    return &it->second;
  }

  static int SimErrno() {
    return os::GetLastError() == os::ERROR_DEVICE_NOT_CONNECTED ? ENODEV : EPIPE;
  }

  void HandleIoctl(UMockdevIoctlClient* client) {
    std::lock_guard<std::mutex> guard(lock);
    unsigned long request = umockdev_ioctl_client_get_request(client);
    Node* node = NodeOf(client);
    if (node == nullptr) {
      umockdev_ioctl_client_complete(client, -1, ENODEV);
      return;
    }
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    std::size_t size = _IOC_SIZE(request);
    GError* error = nullptr;
    auto resolve = [&](std::size_t length) {
      UMockdevIoctlData* data = umockdev_ioctl_data_resolve(arg, 0, length, &error);
      if (error) g_clear_error(&error);
      return data;
    };

    if (request == HIDIOCGRDESCSIZE) {
      UMockdevIoctlData* data = resolve(sizeof(int));
      int length = static_cast<int>(node->descriptor->size());
      if (data) std::memcpy(data->data, &length, sizeof length);
      umockdev_ioctl_client_complete(client, data ? 0 : -1, data ? 0 : EFAULT);
      return;
    }
    if (request == HIDIOCGRDESC) {
      UMockdevIoctlData* data = resolve(sizeof(hidraw_report_descriptor));
      if (data) {
        hidraw_report_descriptor descriptor{};
        descriptor.size = static_cast<__u32>(node->descriptor->size());
        std::memcpy(descriptor.value, node->descriptor->data(), node->descriptor->size());
        std::memcpy(data->data, &descriptor, sizeof descriptor);
      }
      umockdev_ioctl_client_complete(client, data ? 0 : -1, data ? 0 : EFAULT);
      return;
    }
    if (request == HIDIOCGRAWINFO) {
      UMockdevIoctlData* data = resolve(sizeof(hidraw_devinfo));
      if (data) {
        hidraw_devinfo info{};
        info.bustype = 3;  // BUS_USB
        info.vendor = static_cast<__s16>(node->vendor_id);
        info.product = static_cast<__s16>(node->product_id);
        std::memcpy(data->data, &info, sizeof info);
      }
      umockdev_ioctl_client_complete(client, data ? 0 : -1, data ? 0 : EFAULT);
      return;
    }

    unsigned nr = _IOC_NR(request);
    bool feature_set = nr == _IOC_NR(HIDIOCSFEATURE(0)),
         feature_get = nr == _IOC_NR(HIDIOCGFEATURE(0));
    bool input_get = nr == _IOC_NR(HIDIOCGINPUT(0));
    if ((feature_set || feature_get || input_get) && _IOC_TYPE(request) == 'H' && size > 0) {
      UMockdevIoctlData* data = resolve(size);
      if (data == nullptr) {
        umockdev_ioctl_client_complete(client, -1, EFAULT);
        return;
      }
      // hidraw sends byte 0 as the report number; the collection that
      // declares it answers.
      os::HANDLE device = data->data[0] == kEventReport && node->events != os::INVALID_HANDLE_VALUE
                              ? node->events
                              : node->feature;
      bool ok = false;
      std::size_t length = size;
      if (feature_set) {
        ++feature_requests;
        ok = sim::TheHub().SetFeature(device, data->data, size);
      } else {
        // The device sends its whole report and the kernel hands back what
        // fits: the length that comes back is the shorter of the two.
        Bytes report(std::max(size, kLongestReport), 0);
        report[0] = data->data[0];
        if (input_get) {
          ok = sim::TheHub().ReadInput(device, report.data(), report.size(), &length);
        } else {
          ++feature_requests;
          length = kFeatureReportLength;
          ok = sim::TheHub().GetFeature(device, report.data(), length);
        }
        length = std::min(length, size);
        if (ok) std::memcpy(data->data, report.data(), length);
      }
      umockdev_ioctl_client_complete(client, ok ? static_cast<long>(length) : -1,
                                     ok ? 0 : SimErrno());
      return;
    }
    umockdev_ioctl_client_complete(client, -1, ENOTTY);
  }

  void HandleRead(UMockdevIoctlClient* client) {
    std::lock_guard<std::mutex> guard(lock);
    Node* node = NodeOf(client);
    UMockdevIoctlData* buffer = umockdev_ioctl_client_get_arg(client);
    std::size_t got = 0;
    if (node == nullptr) {
      umockdev_ioctl_client_complete(client, -1, EIO);
      return;
    }
    bool ok = sim::TheHub().ReadInput(node->feature, buffer->data,
                                      static_cast<std::size_t>(buffer->data_len), &got);
    umockdev_ioctl_client_complete(client, ok ? static_cast<long>(got) : -1, ok ? 0 : SimErrno());
  }

  void HandleWrite(UMockdevIoctlClient* client) {
    std::lock_guard<std::mutex> guard(lock);
    Node* node = NodeOf(client);
    UMockdevIoctlData* buffer = umockdev_ioctl_client_get_arg(client);
    std::size_t written = 0;
    if (node == nullptr) {
      umockdev_ioctl_client_complete(client, -1, EIO);
      return;
    }
    bool ok = sim::TheHub().WriteOutput(node->feature, buffer->data,
                                        static_cast<std::size_t>(buffer->data_len), &written);
    umockdev_ioctl_client_complete(client, ok ? static_cast<long>(written) : -1,
                                   ok ? 0 : SimErrno());
  }

  void Connected(UMockdevIoctlClient* client) {
    std::lock_guard<std::mutex> guard(lock);
    std::string devnode = umockdev_ioctl_client_get_devnode(client);
    auto it = nodes.find(devnode);
    clients[client] = {devnode, it == nodes.end() ? 0 : it->second.generation};
  }

  void Vanished(UMockdevIoctlClient* client) {
    std::lock_guard<std::mutex> guard(lock);
    clients.erase(client);
  }
};

namespace {

gboolean OnIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer bus) {
  static_cast<Bus::Impl*>(bus)->HandleIoctl(client);
  return TRUE;
}
gboolean OnRead(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer bus) {
  static_cast<Bus::Impl*>(bus)->HandleRead(client);
  return TRUE;
}
gboolean OnWrite(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer bus) {
  static_cast<Bus::Impl*>(bus)->HandleWrite(client);
  return TRUE;
}
void OnConnected(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer bus) {
  static_cast<Bus::Impl*>(bus)->Connected(client);
}
void OnVanished(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer bus) {
  static_cast<Bus::Impl*>(bus)->Vanished(client);
}

}  // namespace

Bus::Bus() : impl_(new Impl) {
  impl_->testbed = umockdev_testbed_new();
  // Without the preload library the program would see the machine's own
  // sysfs and devices.
  if (!umockdev_in_mock_environment())
    throw std::runtime_error("run this program under umockdev-wrapper");
  gchar* root = umockdev_testbed_get_root_dir(impl_->testbed);
  impl_->root = root;
  g_free(root);
  impl_->handler = umockdev_ioctl_base_new();
  g_signal_connect(impl_->handler, "handle-ioctl", G_CALLBACK(OnIoctl), impl_);
  g_signal_connect(impl_->handler, "handle-read", G_CALLBACK(OnRead), impl_);
  g_signal_connect(impl_->handler, "handle-write", G_CALLBACK(OnWrite), impl_);
  g_signal_connect(impl_->handler, "client-connected", G_CALLBACK(OnConnected), impl_);
  g_signal_connect(impl_->handler, "client-vanished", G_CALLBACK(OnVanished), impl_);
  impl_->keyboard = impl_->Plug(kKeyboard);
  Sync();
  active_bus = this;
}

Bus::~Bus() {
  if (active_bus == this) active_bus = nullptr;
  g_object_unref(impl_->testbed);
  g_object_unref(impl_->handler);
  delete impl_;
}

void Bus::Sync() {
  sim::Hub* hub = &sim::TheHub();
  sim::Mode mode = hub->mode();
  if (hub == impl_->hub_object && mode == impl_->hub_mode) return;
  impl_->Unplug(impl_->hub);
  if (mode == sim::Mode::Normal) impl_->hub = impl_->Plug(kHub);
  if (mode == sim::Mode::Loader) impl_->hub = impl_->Plug(kLoader);
  impl_->hub_object = hub;
  impl_->hub_mode = mode;
}

const std::vector<Event>& Bus::events() const {
  return impl_->events;
}

std::vector<std::string> Bus::HubNodes() const {
  std::vector<std::string> names;
  for (const auto& devnode : impl_->hub.devnodes) names.push_back(devnode.substr(5));
  return names;
}

int Bus::OpenClients() const {
  std::lock_guard<std::mutex> guard(impl_->lock);
  return static_cast<int>(impl_->clients.size());
}

int Bus::FeatureRequests() const {
  std::lock_guard<std::mutex> guard(impl_->lock);
  return impl_->feature_requests;
}

std::string Bus::NodeFile(const std::string& node) const {
  return impl_->root + "/dev/" + node;
}

void Bus::OpenToOtherUsers() const {
  ::chmod(impl_->root.c_str(), 0755);
  for (const auto& devnode : impl_->attached)
    ::chmod((impl_->root + "/ioctl" + devnode).c_str(), 0777);
}

Bus* Active() {
  return active_bus;
}

}  // namespace testbed

// The test program links with --wrap for the backend's set builder: every
// call from the tool (and from the tests) lands here first, brings the bus in
// step with the hub, then builds the set as the backend does.
extern "C" os::HDEVINFO __real__ZN2os20SetupDiGetClassDevsWEPKNS_4GUIDEPKDsPvj(
    const os::GUID* class_guid, const os::WCHAR* enumerator, os::HWND parent, os::DWORD flags);

extern "C" os::HDEVINFO __wrap__ZN2os20SetupDiGetClassDevsWEPKNS_4GUIDEPKDsPvj(
    const os::GUID* class_guid, const os::WCHAR* enumerator, os::HWND parent, os::DWORD flags) {
  if (testbed::Bus* bus = testbed::Active()) bus->Sync();
  return __real__ZN2os20SetupDiGetClassDevsWEPKNS_4GUIDEPKDsPvj(class_guid, enumerator, parent,
                                                                flags);
}
