// sensorhub-bench: what the tool costs next to the USB link, on the simulated
// hub and the virtual clock. Run by hand (build/linux/sensorhub-bench); the
// usual Google Benchmark flags apply (--benchmark_filter=Update, ...).
//
//  - Exchange/*: CPU time of one exchange through the protocol layer on an
//    open hub handle (frames recording off), and the heap allocations it
//    makes. "sim" is the whole path down to the simulated hub; "echo" binds a
//    device that answers at once with zeros, leaving the tool's own share.
//  - UpdateRun/*: a whole update run (tool::wmain with an image file) with a
//    modelled link cost per transfer: the transfers made against the fewest
//    the protocol needs, and the run's virtual time against its floor.
//
// The minimum of an update run, with a loader that is never busy and a hub
// that is always where it is looked for:
//   memory read       32768 bytes in 60-byte chunks: 547 queries x 2   1094
//   sensor reading    one query x 2                                        2
//   CMD_ENTER_DFU     one set                                              1
//   download          status query 2, CMD_DFU_BEGIN 1, one poll 2,
//                     448 blocks x (CMD_DFU_DATA 1 + one poll 2) 1344,
//                     CMD_DFU_END 1, closing status 2 and state 2,
//                     CMD_START 1                                       1355
//   total                                                               2452
// The floor of its virtual time is that many transfers at the link cost plus
// the pauses the flow always makes: 500 ms after discovery and 500 ms before
// the first look for the loader, and for a calibrated hub (Keep) 500 ms after
// the hub is found back.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "bench/allocations.h"
#include "driver/entry.h"
#include "driver/run.h"
#include "hid/binding.h"
#include "hid/discovery.h"
#include "image/image_file.h"
#include "protocol/device_image.h"
#include "protocol/frames.h"
#include "protocol/reads.h"
#include "sim/clock.h"
#include "sim/hub.h"
#include "tests/operator.h"
#include "tests/screen.h"

namespace {

constexpr std::uint64_t kMemoryChunks = (DEVICE_IMAGE_SIZE + 59) / 60;
constexpr std::uint64_t kBlocks = DOWNLOAD_REGION_SIZE / 64;
constexpr std::uint64_t kMinimumTransfers =
    kMemoryChunks * 2 + 2 + 1 + (2 + 1 + 2 + kBlocks * 3 + 1 + 2 + 2 + 1);
static_assert(kMinimumTransfers == 2452);
constexpr std::uint64_t kFlowPausesMs = 500 + 500;
constexpr std::uint64_t kKeepReturnPauseMs = 500;

std::string folder;
std::u16string image_path;

void Fail(const char* what) {
  std::fprintf(stderr, "sensorhub-bench: %s\n", what);
  std::exit(1);
}

// A fresh simulated world: the hub with these options, a blank screen, an
// operator who answers at once, the virtual clock at 0.
void NewWorld(sim::Options options) {
  sim::SetClockMode(sim::ClockMode::Virtual);
  sim::Reset(std::move(options));
  screen::Reset();
  script::Reset();
}

os::HANDLE OpenQuietHub() {
  sim::Options options;
  options.record_frames = false;
  // Millions of exchanges here are the point, not a tool that is stuck.
  options.runaway_exchanges = UINT64_MAX;
  NewWorld(options);
  if (!LoadHidLibrary()) Fail("the HID library does not bind");
  os::HANDLE hub = OpenHidDevice(SENSOR_HUB_ID);
  if (hub == os::INVALID_HANDLE_VALUE) Fail("the simulated hub cannot be opened");
  return hub;
}

// A device that takes every report and answers every get with zeros at once.
os::BOOLEAN OS_WINAPI EchoSetFeature(os::HANDLE, void*, os::ULONG) {
  return 1;
}
os::BOOLEAN OS_WINAPI EchoGetFeature(os::HANDLE, void* report, os::ULONG length) {
  std::memset(static_cast<std::uint8_t*>(report) + 1, 0, length - 1);
  return 1;
}

void UseEchoDevice() {
  HidBinding.HidD_SetFeature = EchoSetFeature;
  HidBinding.HidD_GetFeature = EchoGetFeature;
}

void CountPerExchange(benchmark::State& state, std::uint64_t exchanges, std::uint64_t allocs) {
  double total = static_cast<double>(state.iterations()) * static_cast<double>(exchanges);
  state.counters["exchanges"] = static_cast<double>(exchanges);
  state.counters["allocs/exchange"] = static_cast<double>(allocs) / total;
  state.counters["CPU/exchange"] = benchmark::Counter(
      static_cast<double>(exchanges),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void QueryStatusLoop(benchmark::State& state, bool echo) {
  os::HANDLE hub = OpenQuietHub();
  if (echo) UseEchoDevice();
  std::uint8_t status = 0, dfu_state = 0;
  std::uint64_t before = allocations::Count();
  for (auto _ : state) {
    QueryStatus(hub, &status, &dfu_state);
    benchmark::DoNotOptimize(status);
    benchmark::DoNotOptimize(dfu_state);
  }
  CountPerExchange(state, 1, allocations::Count() - before);
  FreeHidLibrary();
}

void ReadSensorDataLoop(benchmark::State& state, bool echo) {
  os::HANDLE hub = OpenQuietHub();
  if (echo) UseEchoDevice();
  SensorData record{};
  std::uint64_t before = allocations::Count();
  for (auto _ : state) {
    ReadSensorData(hub, &record);
    benchmark::DoNotOptimize(record);
  }
  CountPerExchange(state, 1, allocations::Count() - before);
  FreeHidLibrary();
}

void ReadDeviceMemoryLoop(benchmark::State& state, bool echo) {
  os::HANDLE hub = OpenQuietHub();
  if (echo) UseEchoDevice();
  std::vector<std::uint8_t> memory(DEVICE_IMAGE_SIZE);
  std::uint64_t before = allocations::Count();
  for (auto _ : state) {
    ReadDeviceMemory(hub, memory.data(), DEVICE_IMAGE_SIZE);
    benchmark::DoNotOptimize(memory.data());
  }
  CountPerExchange(state, kMemoryChunks, allocations::Count() - before);
  FreeHidLibrary();
}

void BM_QueryStatus_sim(benchmark::State& state) {
  QueryStatusLoop(state, false);
}
void BM_QueryStatus_echo(benchmark::State& state) {
  QueryStatusLoop(state, true);
}
void BM_ReadSensorData_sim(benchmark::State& state) {
  ReadSensorDataLoop(state, false);
}
void BM_ReadSensorData_echo(benchmark::State& state) {
  ReadSensorDataLoop(state, true);
}
void BM_ReadDeviceMemory_sim(benchmark::State& state) {
  ReadDeviceMemoryLoop(state, false);
}
void BM_ReadDeviceMemory_echo(benchmark::State& state) {
  ReadDeviceMemoryLoop(state, true);
}

sim::Options RunOptions(bool calibrated, double link_ms, bool record_frames) {
  sim::Options options;
  options.link_ms = link_ms;
  options.record_frames = record_frames;
  if (calibrated) options.calibrated = 200;
  return options;
}

void RunTool() {
  std::u16string program = u"sensorhub.exe";
  std::u16string image = image_path;
  char16_t* argv[] = {program.data(), image.data(), nullptr};
  tool::wmain(2, argv);
}

// What the summary shows of one update run.
struct RunFigures {
  bool calibrated = false;
  double link_ms = 0;
  std::uint64_t transfers = 0;
  std::uint64_t virtual_ms = 0;
  std::uint64_t slept_ms = 0;
  std::uint64_t floor_ms = 0;
  double allocs = 0;
  std::string breakdown;
};

// The recorded frames of the run just made, by kind.
std::string Breakdown(std::uint64_t transfers) {
  std::map<std::string, int> counts;
  auto name = [](std::uint8_t code) -> std::string {
    static const std::map<std::uint8_t, std::string> kNames = {
        {code::CMD_ENTER_DFU, "ENTER_DFU"}, {code::CMD_START, "START"},
        {code::CMD_DFU_BEGIN, "DFU_BEGIN"}, {code::CMD_DFU_END, "DFU_END"},
        {code::CMD_DFU_DATA, "DFU_DATA"},   {code::QRY_SENSOR_DATA, "SENSOR_DATA"},
        {code::QRY_MEMORY, "MEMORY"},       {code::QRY_STATUS, "STATUS"}};
    auto found = kNames.find(code);
    return found == kNames.end() ? "other" : found->second;
  };
  const auto& frames = sim::TheHub().frames();
  for (const auto& frame : frames)
    ++counts[(frame.set ? "set " : "get ") + name(frame.code) + (frame.ok ? "" : " (failed)")];
  std::string text;
  for (const auto& [kind, count] : counts)
    text += "    " + kind + ": " + std::to_string(count) + "\n";
  text +=
      "    refused on a stale handle, unrecorded: " + std::to_string(transfers - frames.size()) +
      "\n";
  return text;
}

std::map<std::string, RunFigures> run_figures;

void BM_UpdateRun(benchmark::State& state) {
  bool calibrated = state.range(0) != 0;
  double link_ms = static_cast<double>(state.range(1)) / 1000.0;
  std::uint64_t allocs = 0;
  for (auto _ : state) {
    state.PauseTiming();
    NewWorld(RunOptions(calibrated, link_ms, false));
    std::uint64_t before = allocations::Count();
    state.ResumeTiming();
    RunTool();
    allocs += allocations::Count() - before;
  }

  // The same run again, to count. The simulated world is deterministic and
  // only sleeps and transfers move its clock in an update run, so with 1 ms a
  // transfer the clock counts every set and get (also those a stale handle
  // refuses before the hub records a frame); the frames break them down.
  NewWorld(RunOptions(calibrated, 1.0, true));
  RunTool();
  if (screen::Stdout().find("Update Completed") == std::string::npos)
    Fail("the update run did not complete");
  RunFigures figures;
  figures.calibrated = calibrated;
  figures.link_ms = link_ms;
  figures.transfers = sim::NowMs() - sim::SleptMs();
  figures.breakdown = Breakdown(figures.transfers);

  NewWorld(RunOptions(calibrated, link_ms, false));
  RunTool();
  figures.virtual_ms = sim::NowMs();
  figures.slept_ms = sim::SleptMs();
  auto link_time = static_cast<std::uint64_t>(static_cast<double>(figures.transfers) * link_ms);
  if (figures.virtual_ms - figures.slept_ms != link_time)
    Fail("the run made another number of transfers at this link cost");
  double floor = static_cast<double>(kMinimumTransfers) * link_ms +
                 static_cast<double>(kFlowPausesMs + (calibrated ? kKeepReturnPauseMs : 0));
  figures.floor_ms = static_cast<std::uint64_t>(floor);
  figures.allocs = static_cast<double>(allocs) / static_cast<double>(state.iterations());
  // Keyed by the name the reporter sees.
  run_figures["BM_UpdateRun/calibrated:" + std::to_string(state.range(0)) +
              "/link_us:" + std::to_string(state.range(1))] = figures;

  state.counters["transfers"] = static_cast<double>(figures.transfers);
  state.counters["minimum"] = static_cast<double>(kMinimumTransfers);
  state.counters["virtual_ms"] = static_cast<double>(figures.virtual_ms);
  state.counters["floor_ms"] = static_cast<double>(figures.floor_ms);
  state.counters["allocs/run"] = figures.allocs;
}

BENCHMARK(BM_QueryStatus_sim);
BENCHMARK(BM_QueryStatus_echo);
BENCHMARK(BM_ReadSensorData_sim);
BENCHMARK(BM_ReadSensorData_echo);
BENCHMARK(BM_ReadDeviceMemory_sim)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadDeviceMemory_echo)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_UpdateRun)
    ->ArgNames({"calibrated", "link_us"})
    ->ArgsProduct({{0, 1}, {250, 1000}})
    ->Unit(benchmark::kMillisecond);

// Keeps the measured figures for the summary printed after the table.
class SummaryReporter : public benchmark::ConsoleReporter {
 public:
  // Plain text: the table also goes to files and logs.
  SummaryReporter() : ConsoleReporter(OO_Tabular) {}

  struct Measured {
    double cpu_ns = 0;  // per iteration
    std::map<std::string, double> counters;
  };
  std::map<std::string, Measured> runs;

  void ReportRuns(const std::vector<Run>& reports) override {
    for (const auto& run : reports) {
      if (run.run_type != Run::RT_Iteration) continue;
      Measured measured;
      measured.cpu_ns =
          run.GetAdjustedCPUTime() * (run.time_unit == benchmark::kMillisecond   ? 1e6
                                      : run.time_unit == benchmark::kMicrosecond ? 1e3
                                                                                 : 1.0);
      for (const auto& [name, counter] : run.counters) measured.counters[name] = counter.value;
      runs[run.benchmark_name()] = measured;
    }
    ConsoleReporter::ReportRuns(reports);
  }
};

void PrintSummary(const SummaryReporter& reporter) {
  std::printf("\nPer exchange (one query: a set and a get); goal under 2 us and no allocation\n");
  std::printf("  %-28s %12s %16s\n", "benchmark", "CPU/exchange", "allocs/exchange");
  for (const auto& [name, run] : reporter.runs) {
    if (name.rfind("BM_UpdateRun", 0) == 0) continue;
    double exchanges = run.counters.at("exchanges");
    std::printf("  %-28s %9.0f ns %16.3f\n", name.c_str() + 3, run.cpu_ns / exchanges,
                run.counters.at("allocs/exchange"));
  }
  std::printf("\nUpdate run (minimum %llu transfers; floor = minimum x link + flow pauses)\n",
              static_cast<unsigned long long>(kMinimumTransfers));
  std::printf("  %-5s %8s %10s %7s %11s %9s %9s %7s %8s %11s\n", "rule", "link ms", "transfers",
              "ratio", "virtual ms", "slept ms", "floor ms", "ratio", "CPU ms", "allocs/run");
  for (const auto& [name, figures] : run_figures) {
    auto found = reporter.runs.find(name);
    double cpu_ms = found == reporter.runs.end() ? 0 : found->second.cpu_ns / 1e6;
    std::printf("  %-5s %8.2f %10llu %7.2f %11llu %9llu %9llu %7.2f %8.2f %11.0f\n",
                figures.calibrated ? "Keep" : "Full", figures.link_ms,
                static_cast<unsigned long long>(figures.transfers),
                static_cast<double>(figures.transfers) / static_cast<double>(kMinimumTransfers),
                static_cast<unsigned long long>(figures.virtual_ms),
                static_cast<unsigned long long>(figures.slept_ms),
                static_cast<unsigned long long>(figures.floor_ms),
                static_cast<double>(figures.virtual_ms) / static_cast<double>(figures.floor_ms),
                cpu_ms, figures.allocs);
  }
  for (const auto& [name, figures] : run_figures)
    if (figures.link_ms == 1.0)
      std::printf("\n%s update run, transfers by kind:\n%s", figures.calibrated ? "Keep" : "Full",
                  figures.breakdown.c_str());
}

void WriteImage() {
  std::string pattern =
      (std::filesystem::temp_directory_path() / "sensorhub-bench-XXXXXX").string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr) Fail("no temporary folder");
  folder = buffer.data();
  std::vector<std::uint8_t> image(0x7000);
  for (std::size_t i = 0; i < image.size(); ++i)
    image[i] = static_cast<std::uint8_t>((i * 11 + 0x5A + (i >> 8)) & 0xFF);
  std::uint32_t crc = image::Crc32Update(image.data(), static_cast<std::uint32_t>(image.size()),
                                         image::CRC32_START);
  for (int i = 0; i < 4; ++i) image.push_back(static_cast<std::uint8_t>(crc >> (8 * i)));
  std::string path = folder + "/0000010A.bin";
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr || std::fwrite(image.data(), 1, image.size(), file) != image.size() ||
      std::fclose(file) != 0)
    Fail("cannot write the image file");
  image_path = std::u16string(path.begin(), path.end());
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  WriteImage();
  SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  PrintSummary(reporter);
  benchmark::Shutdown();
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  return 0;
}
