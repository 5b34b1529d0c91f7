#include "vela/testplatform.h"

namespace vela::testing {

TestPlatform::TestPlatform() { SetPlatform(this); }
TestPlatform::~TestPlatform() { SetPlatform(nullptr); }

void TestPlatform::MsgBox(const std::string& text)
{
    messages_.push_back(text);
    if (onMessage)
        onMessage(text);
}

std::optional<std::string> TestPlatform::SelectFolder()
{
    if (folders_.empty())
        throw UnexpectedDialog("a folder dialog that the test did not expect");
    auto answer = folders_.front();
    folders_.pop_front();
    return answer;
}

void TestPlatform::BackgroundTask()
{
    ++backgroundCalls_;
    if (onBackgroundTask)
        onBackgroundTask();
}

} // namespace vela::testing
