#include "Watch.h"

#include "Json.h"
#include "WindowQuery.h"

namespace tazel::e2e {
namespace {

constexpr DWORD kPollMs = 2;

} // namespace

void Watch::Begin(int timeoutSeconds)
{
    deadline_ = GetTickCount64() + static_cast<ULONGLONG>(timeoutSeconds) * 1000;
}

// Polled often enough to catch a window that is shown only briefly before a box.
void Watch::NoteShown(HWND window)
{
    if (!window || shown_.contains(window) || GetAncestor(window, GA_PARENT) != GetDesktopWindow())
        return;
    shown_.insert(window);
    JsonLine("shown")
        .Text("class", ClassOf(window))
        .Text("title", TitleOf(window))
        .Raw("owner", WindowRef(GetWindow(window, GW_OWNER)))
        .Emit();
}

// Every visible window of the installer, reported the first time it is seen.
void Watch::Observe()
{
    for (HWND window : TopLevelWindows(process_.id()))
        if (IsWindowVisible(window))
            NoteShown(window);
}

Waited Watch::WaitUntil(const std::function<bool()>& condition)
{
    for (;;) {
        Observe();
        holds_.Service(process_.id());
        if (condition())
            return Waited::Met;
        if (process_.Exited())
            return condition() ? Waited::Met : Waited::Exited;
        if (GetTickCount64() >= deadline_)
            return Waited::TimedOut;
        WaitForSingleObject(process_.handle(), kPollMs);
    }
}

bool Watch::Check(Waited waited, const char* what)
{
    if (waited == Waited::Met)
        return true;
    if (waited == Waited::TimedOut) {
        JsonLine("timeout").Text("action", current_->token).Text("waiting_for", what).Emit();
        process_.Kill();
        status_ = 2;
        return false;
    }
    JsonLine("error")
        .Text("action", current_->token)
        .Text("reason", "installer exited")
        .Text("waiting_for", what)
        .Emit();
    process_.ReportExit(false);
    status_ = 1;
    return false;
}

bool Watch::Fail(const char* reason)
{
    JsonLine("error").Text("action", current_->token).Text("reason", reason).Emit();
    return Stop();
}

bool Watch::Stop()
{
    process_.Kill();
    status_ = 1;
    return false;
}

} // namespace tazel::e2e
