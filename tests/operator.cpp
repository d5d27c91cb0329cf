// The scripted operator: the os operator calls of the test programs.

#include "tests/operator.h"

#include <deque>

#include "sim/clock.h"

namespace script {
namespace {

struct Operator {
  std::deque<int> answers;
  std::uint64_t think_ms = 0;
  std::vector<Box> boxes;
  std::vector<BeepRecord> beeps;
};

Operator& The() {
  static Operator op;
  return op;
}

}  // namespace

void Reset() {
  The() = Operator{};
}

void Answer(std::vector<int> answers) {
  The().answers.assign(answers.begin(), answers.end());
}

void SetThinkTime(std::uint64_t ms) {
  The().think_ms = ms;
}

const std::vector<Box>& Boxes() {
  return The().boxes;
}
const std::vector<BeepRecord>& Beeps() {
  return The().beeps;
}

}  // namespace script

namespace os {

int MessageBoxW(HWND owner, const WCHAR* text, const WCHAR* caption, UINT type) {
  script::Operator& op = script::The();
  script::Box box;
  if (text != nullptr) box.text = text;
  if (caption != nullptr) box.caption = caption;
  box.type = type;
  box.has_owner = owner != nullptr;
  box.shown_ms = sim::NowMs();
  box.sequence = sim::NextSequence();
  // The box is modal: the caller waits while the operator reads it.
  sim::AdvanceClock(op.think_ms);
  box.closed_ms = sim::NowMs();
  box.answer = IDOK;
  if (!op.answers.empty()) {
    box.answer = op.answers.front();
    op.answers.pop_front();
  }
  op.boxes.push_back(box);
  return box.answer;
}

BOOL Beep(DWORD frequency, DWORD duration_ms) {
  script::BeepRecord beep;
  beep.frequency = frequency;
  beep.duration_ms = duration_ms;
  beep.start_ms = sim::NowMs();
  beep.sequence = sim::NextSequence();
  beep.sounded = frequency >= 37 && frequency <= 32767;
  script::The().beeps.push_back(beep);
  if (!beep.sounded) return 0;
  // The call returns when the tone ends.
  sim::AdvanceClock(duration_ms);
  return 1;
}

}  // namespace os
