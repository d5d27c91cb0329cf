#include "driver/calibration.h"

#include <cstdio>
#include <cstring>

#include "console/console.h"
#include "hid/transport.h"
#include "protocol/frames.h"
#include "protocol/reads.h"

// The second lines are Big5 sentences stored one byte to a UTF-16 unit, as the
// station has always shown them.
const char16_t FIXTURE_PROMPT[] =
    u"Please put the fixture on the Ambient/Proximity sensor.\n"
    u"\u00BD\u00D0\u00B1N\u00AAv\u00A8\u00E3\u00A9\u00F1\u00A6b"
    u"Light/Proximity"
    u"\u00B7P\u00C0\u00B3\u00BE\u00B9\u00A4W\u00A4\u00E8";
const char16_t START_PROMPT[] =
    u"Please Enter OK to start calibration.\n"
    u"\u00BD\u00D0\u00AB\u00F6\u00BDT\u00A9w\u00B6}\u00A9l\u00AE\u00D5\u00A5\u00BF.";

namespace {

constexpr char kTitle[] = "Velkor Sensor Calibration & Validation Tool\t(V1.70)";
constexpr char kRuleLine[] =
    "================================================================================";
static_assert(sizeof kRuleLine == 80 + 1);
constexpr char kStep1Banner[] = "===============Step1===============";
constexpr char kStep2Banner[] = "===============Step2===============";
constexpr char kStep3Banner[] = "===============Step3===============";
constexpr char16_t kFailedText[] = u"Calibration & Validation FAILED";
constexpr char16_t kLightFailCaption[] = u"Ambient Light & Proximity Validation Fail";
constexpr char16_t kMotionFailCaption[] = u"Accelerometer & Gyroscope Validation Fail";
constexpr char16_t kStalledCaption[] = u"Sensor Hub Not Responding";

constexpr std::int32_t kLightReadings = 100;
constexpr std::int32_t kMotionReadings = 50;
constexpr os::DWORD kReadingPauseMs = 40;
constexpr os::DWORD kLevelPauseMs = 50;
constexpr std::uint8_t kLevelDone = 3;
constexpr int kLineLimit = 64;

// The hub's states that have a handler.
constexpr std::uint8_t STATE_START = 1, STATE_LIGHT = 10, STATE_LIGHT_CHECK = 12, STATE_MOTION = 14,
                       STATE_MOTION_CHECK = 16, STATE_LEVEL = 18;

int ShowBox(const char16_t* text, const char16_t* caption) {
  return os::MessageBoxW(nullptr, text, caption, os::MB_OK);
}

void WriteLine(int x, int y, const char* text) {
  console::WriteTextAt(x, y, text, static_cast<int>(std::strlen(text)));
}

// How long the hub has left the tool with nothing to do.
class Stall {
 public:
  Stall() : since_(os::GetTickCount64()) {}
  void Acted() { since_ = os::GetTickCount64(); }
  bool Expired() const { return os::GetTickCount64() - since_ >= HUB_STALL_LIMIT_MS; }

 private:
  std::uint64_t since_;
};

class Sequence {
 public:
  explicit Sequence(RunValues& run) : run_(run), hub_(run.hub), record_(run.record) {}

  void SetUpScreen() {
    console::HideTextCursor();
    console::ClearScreenWithColors(10, 0);
    console::ClearScreen();
    WriteLine(20, 1, kTitle);
    console::GotoXY(0, 2);
    os::Printf("%s", kRuleLine);
    CMD_START(hub_);
  }

  // Polls the hub's state and runs that state's step, back to back; returns
  // when an ending or a cancelled box ends the run.
  void PollLoop() {
    std::int32_t& counter = run_.counter;
    counter = 0;
    Stall stall;
    for (;;) {
      std::uint8_t status = 0, state = 0;
      QueryStatus(hub_, &status, &state);
      bool acted = true;
      switch (state) {
        case STATE_START:
          CMD_STATE_10(hub_);
          WriteLine(24, 4, kStep1Banner);
          if (ShowBox(FIXTURE_PROMPT, u"Step 1.") == os::IDCANCEL) return;
          counter = 0;
          break;
        case STATE_LIGHT:
          if (counter < kLightReadings) {
            LightReading();
            os::Sleep(kReadingPauseMs);
            ++counter;
          } else {
            CMD_STATE_12(hub_);
            acted = false;  // the hub has yet to move on
          }
          break;
        case STATE_LIGHT_CHECK:
          if (!ValidateSensors(record_, state)) {
            FailureEnding(kLightFailCaption);
            return;
          }
          CMD_STATE_14(hub_);
          WriteLine(24, 9, kStep2Banner);
          if (ShowBox(START_PROMPT, u"Step 2.") == os::IDCANCEL) return;
          ReadSensorData(hub_, &record_);
          ShowLight(record_.lux / 2);
          counter = 0;
          break;
        case STATE_MOTION:
          if (counter < kMotionReadings) {
            MotionReading();
            os::Sleep(kReadingPauseMs);
            ++counter;
          } else {
            CMD_STATE_16(hub_);
            counter = 0;
          }
          break;
        case STATE_MOTION_CHECK:
          if (counter < kMotionReadings) {
            MotionReading();
            os::Sleep(kReadingPauseMs);
            ++counter;
            break;
          }
          if (!ValidateSensors(record_, state)) {
            FailureEnding(kMotionFailCaption);
            return;
          }
          CMD_STATE_18(hub_);
          WriteLine(24, 16, kStep3Banner);
          if (ShowBox(START_PROMPT, u"Step 3.") == os::IDCANCEL) return;
          MotionReading();
          counter = 0;
          break;
        case STATE_LEVEL:
          if (LevelLoop())
            PassEnding();
          else
            FailureEnding(kStalledCaption);
          return;
        default:
          acted = false;
          break;
      }
      if (acted) {
        stall.Acted();
      } else if (stall.Expired()) {
        FailureEnding(kStalledCaption);
        return;
      }
    }
  }

 private:
  void LightReading() {
    ReadSensorData(hub_, &record_);
    ShowLight(record_.lux);
  }

  void ShowLight(int lux) {
    std::snprintf(buf_, kLineLimit, "%d LUX.     %d MM.", lux, record_.proximity);
    WriteLine(35, 6, buf_);
  }

  void MotionReading() {
    ReadSensorData(hub_, &record_);
    std::snprintf(buf_, kLineLimit, "ACC_X:%d ACC_Y:%d ACC_Z:%d", record_.acc_x, record_.acc_y,
                  record_.acc_z);
    WriteLine(25, 11, buf_);
    std::snprintf(buf_, kLineLimit, "GYR_X:%d GYR_Y:%d GYR_Z:%d", record_.gyr_x, record_.gyr_y,
                  record_.gyr_z);
    WriteLine(28, 13, buf_);
  }

  // Shows the hub's level every 50 ms until it reaches 3; no state is polled.
  // False when the hub stopped answering on the way.
  bool LevelLoop() {
    Stall silence;
    do {
      os::Sleep(kLevelPauseMs);
      if (ReadSensorData(hub_, &record_) == IO_OK)
        silence.Acted();
      else if (silence.Expired())
        return false;
      std::snprintf(buf_, kLineLimit, "LEVEL=%d", record_.level);
      WriteLine(38, 18, buf_);
    } while (record_.level != kLevelDone);
    os::Beep(750, 1000);
    os::Sleep(500);
    os::Beep(750, 1000);
    CMD_STATE_20(hub_);
    return true;
  }

  void PassEnding() {
    ShowBox(u"Calibration & Validation PASSED", u"Validation Pass");
    CMD_STOP(hub_);
    os::CloseHandle(hub_);
    run_.hub = os::INVALID_HANDLE_VALUE;
  }

  void FailureEnding(const char16_t* caption) {
    ShowBox(kFailedText, caption);
    CMD_STOP(hub_);
    os::Sleep(500);
  }

  RunValues& run_;
  os::HANDLE hub_;
  SensorData& record_;
  char buf_[512] = {};
};

}  // namespace

int ValidateSensors(const SensorData& record, std::uint8_t state) {
  switch (state) {
    case 10:
    case 12:
      return record.proximity == 0 && record.lux <= 5;
    case 14:
    case 16: {
      bool acc_moves = record.acc_x != 0 || record.acc_y != 0 || record.acc_z != 0;
      bool gyr_moves = record.gyr_x != 0 || record.gyr_y != 0 || record.gyr_z != 0;
      bool x_in_range = record.acc_x >= -4096 && record.acc_x <= 4096;
      bool y_in_range = record.acc_y >= -4096 && record.acc_y <= 4096;
      return acc_moves && x_in_range && y_in_range && gyr_moves;
    }
    default:
      return 1;
  }
}

void RunCalibrationSequence(RunValues& run) {
  Sequence sequence(run);
  sequence.SetUpScreen();
  sequence.PollLoop();
}
