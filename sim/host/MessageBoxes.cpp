// The message boxes: each answered from the script or by default, and kept.
#include "sim/host/MessageBoxes.h"

#include <algorithm>

namespace sim {

void MessageBoxes::Answer(BoxRecord& box) {
    const std::vector<int> buttons = ButtonsOf(box.Style);
    if (!Answers.empty() &&
        std::find(buttons.begin(), buttons.end(), Answers.front()) != buttons.end()) {
        box.Answer = Answers.front();
        box.Scripted = true;
        Answers.pop_front();
    } else {
        box.Answer = DefaultAnswer(box.Style);
    }
}

size_t MessageBoxes::Keep(BoxRecord box) {
    Kept.push_back(std::move(box));
    if (OnBox)
        OnBox(Kept.back());
    return Kept.size() - 1;
}

}  // namespace sim
