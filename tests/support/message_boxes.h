#pragma once
// Every message box shown while one of these lives is recorded as
// "caption: text" and answered with ANSWER; none reaches the screen.
#include "framework/message_box.h"

#include <string>
#include <vector>

namespace testing_support {

class MessageBoxes : public std::vector<std::string> {
public:
    MessageBoxes()
    {
        saved_ = ui::setMessageBoxHook([this](const QString& text, const QString& caption, unsigned flags) {
            push_back(caption.toStdString() + ": " + text.toStdString());
            texts.push_back(text.toStdString());
            this->flags.push_back(flags);
            return answer;
        });
    }
    ~MessageBoxes() { ui::setMessageBoxHook(saved_); }
    MessageBoxes(const MessageBoxes&) = delete;
    MessageBoxes& operator=(const MessageBoxes&) = delete;

    int answer = ui::IDOK;
    std::vector<std::string> texts;
    std::vector<unsigned> flags;

private:
    ui::MessageBoxHook saved_;
};

} // namespace testing_support
