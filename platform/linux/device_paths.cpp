#include "platform/linux/device_paths.h"

#include <cstdio>
#include <map>

namespace linux_hid {

bool IsComposite(const UsbDevice& device) {
  bool classes_per_interface = device.device_class == 0x00 ||
                               (device.device_class == 0xEF && device.device_subclass == 0x02 &&
                                device.device_protocol == 0x01);
  return device.interfaces > 1 && classes_per_interface;
}

std::vector<std::u16string> DevicePaths(const std::vector<Collection>& collections) {
  std::map<std::string, int> per_node;
  for (const auto& collection : collections) ++per_node[collection.node];

  std::map<std::string, int> numbered;
  std::vector<std::u16string> paths;
  for (const auto& collection : collections) {
    char text[64];
    int length = std::snprintf(text, sizeof text, "\\\\?\\hid#vid_%04x&pid_%04x",
                               collection.vendor_id & 0xFFFF, collection.product_id & 0xFFFF);
    std::string path(text, static_cast<std::size_t>(length));
    if (collection.composite && collection.interface_number >= 0) {
      length = std::snprintf(text, sizeof text, "&mi_%02x", collection.interface_number & 0xFF);
      path.append(text, static_cast<std::size_t>(length));
    }
    if (per_node[collection.node] > 1) {
      length = std::snprintf(text, sizeof text, "&col%02d", ++numbered[collection.node]);
      path.append(text, static_cast<std::size_t>(length));
    }
    path += '#';
    path += collection.node;

    std::u16string wide;
    wide.reserve(path.size());
    for (char c : path) {
      auto unit = static_cast<unsigned char>(c);
      if (unit >= 'A' && unit <= 'Z') unit = static_cast<unsigned char>(unit - 'A' + 'a');
      wide.push_back(static_cast<char16_t>(unit));
    }
    paths.push_back(std::move(wide));
  }
  return paths;
}

std::string NodeOfPath(std::u16string_view path) {
  auto hash = path.rfind(u'#');
  if (hash == std::u16string_view::npos) return {};
  std::u16string_view node = path.substr(hash + 1);
  constexpr std::u16string_view kPrefix = u"hidraw";
  if (node.size() <= kPrefix.size() || node.substr(0, kPrefix.size()) != kPrefix) return {};
  std::string narrow(kPrefix.begin(), kPrefix.end());
  for (char16_t unit : node.substr(kPrefix.size())) {
    if (unit < u'0' || unit > u'9') return {};
    narrow.push_back(static_cast<char>(unit));
  }
  return narrow;
}

std::string AccessHint(std::string_view device_node) {
  std::string line = "sensorhub: no permission to open ";
  line += device_node;
  line +=
      " (read and write access is needed); install the udev rule: "
      "sudo cp udev/70-sensorhub.rules /etc/udev/rules.d/ && sudo udevadm control --reload "
      "&& sudo udevadm trigger, then replug the hub\n";
  return line;
}

}  // namespace linux_hid
