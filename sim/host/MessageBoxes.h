// The message boxes the module showed, and the answers scripted for them.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <vector>

#include "sim/host/MessageBoxRecord.h"

namespace sim {

// The boxes in the order the module showed them, each answered from the
// script or with its default button.
class MessageBoxes {
  public:
    // Answers for the next boxes, in order (kIdYes, kIdNo, kIdOk ...). A box
    // takes the next answer only when it has that button; otherwise it gets
    // its default button and the answer waits for a later box.
    void ScriptAnswers(std::vector<int> answers) { Answers.assign(answers.begin(), answers.end()); }
    // Answers a box that is shown: the next scripted answer, else the style's
    // default button (OK for an OK box, Yes for a Yes/No box).
    void Answer(BoxRecord& box);
    // Keeps the box, hands it to OnBox, and gives its index in List().
    size_t Keep(BoxRecord box);

    // Every box, also those that MessageBoxW was made to fail for.
    const std::vector<BoxRecord>& List() const { return Kept; }
    // Called for each box once answered (for printing boxes as they are shown).
    std::function<void(const BoxRecord&)> OnBox;
    size_t UnusedAnswers() const { return Answers.size(); }
    // The scripted answers that no box took, in order.
    std::vector<int> UnusedAnswerList() const { return {Answers.begin(), Answers.end()}; }

  private:
    std::deque<int> Answers;
    std::vector<BoxRecord> Kept;
};

}  // namespace sim
