#include "tests/world.h"

#include <fstream>

#include <gtest/gtest.h>

#include "driver/entry.h"
#include "driver/run.h"
#include "hid/binding.h"
#include "hid/discovery.h"
#include "image/image_file.h"

namespace world {

void Reset(sim::Options options) {
  sim::SetClockMode(sim::ClockMode::Virtual);
  sim::Reset(std::move(options));
  screen::Reset();
  script::Reset();
}

os::HANDLE OpenHub(sim::Options options) {
  bool loader = options.mode == sim::Mode::Loader;
  world::Reset(std::move(options));
  EXPECT_TRUE(LoadHidLibrary());
  os::HANDLE handle = OpenHidDevice(loader ? DFU_LOADER_ID : SENSOR_HUB_ID);
  EXPECT_NE(handle, os::INVALID_HANDLE_VALUE);
  return handle;
}

std::vector<sim::Frame> SetFrames() {
  std::vector<sim::Frame> sets;
  for (const auto& frame : sim::TheHub().frames())
    if (frame.set) sets.push_back(frame);
  return sets;
}

int RunTool(const std::vector<std::u16string>& arguments) {
  std::vector<std::u16string> strings{u"sensorhub.exe"};
  strings.insert(strings.end(), arguments.begin(), arguments.end());
  std::vector<char16_t*> argv;
  for (auto& s : strings) argv.push_back(s.data());
  argv.push_back(nullptr);
  return tool::wmain(static_cast<int>(strings.size()), argv.data());
}

const std::string& Stdout() {
  return screen::Stdout();
}

std::vector<std::uint8_t> SetCodes() {
  std::vector<std::uint8_t> codes;
  for (const auto& frame : sim::TheHub().frames())
    if (frame.set) codes.push_back(frame.code);
  return codes;
}

std::vector<std::uint8_t> CommandsTaken() {
  std::vector<std::uint8_t> codes;
  for (const auto& frame : sim::TheHub().frames())
    if (frame.set && frame.ok && !sim::IsQuery(frame.code)) codes.push_back(frame.code);
  return codes;
}

int CountSets(std::uint8_t code) {
  int count = 0;
  for (const auto& frame : sim::TheHub().frames())
    if (frame.set && frame.code == code) ++count;
  return count;
}

std::filesystem::path TempDir() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "world";
  for (auto& c : name)
    if (c == '/') c = '_';
  auto dir = std::filesystem::temp_directory_path() / "sensorhub-tests" / name;
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

std::string Progress(int blocks) {
  std::string text;
  for (int i = 1; i <= blocks; ++i) text += "Data Transfer=" + std::to_string(64 * i) + "\r";
  return text;
}

bool Same(const sim::Memory& memory, std::size_t from, std::size_t to, const std::uint8_t* bytes) {
  return std::equal(memory.begin() + from, memory.begin() + to, bytes);
}

std::u16string Widen(const std::string& text) {
  return std::u16string(text.begin(), text.end());
}

std::u16string WriteImageFile(const std::vector<std::uint8_t>& image, const std::string& name) {
  auto path = TempDir() / name;
  std::uint32_t crc = image::Crc32Update(image.data(), static_cast<std::uint32_t>(image.size()),
                                         image::CRC32_START);
  std::ofstream file(path, std::ios::binary);
  file.write(reinterpret_cast<const char*>(image.data()),
             static_cast<std::streamsize>(image.size()));
  for (int i = 0; i < 4; ++i) file.put(static_cast<char>((crc >> (8 * i)) & 0xFF));
  return Widen(path.string());
}

std::vector<std::uint8_t> PatternImage(std::size_t size, std::uint8_t salt) {
  std::vector<std::uint8_t> image(size);
  for (std::size_t i = 0; i < size; ++i)
    image[i] = static_cast<std::uint8_t>((i * 11 + salt + (i >> 8)) & 0xFF);
  return image;
}

}  // namespace world
