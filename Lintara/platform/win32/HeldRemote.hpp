// SPDX-License-Identifier: MIT
// Remote control on Windows, for now without a transport: no other program
// can reach Lintara here yet. The binding keeps the handler and the latest
// published state, so that a transport (a named pipe, say) needs nothing
// more from the controller; the test build reports each change of the state.
#pragma once

#include "Lintara/platform/Platform.hpp"
#include "ProgramHooks.hpp"

#include <functional>
#include <optional>

namespace lintara::win32 {

class HeldRemote final : public RemoteControl {
public:
    explicit HeldRemote(ProgramHooks& hooks)
        : hooks_(hooks)
    {
    }
    void setHandler(std::function<RemoteResult(const RemoteCommand&)> perform) override
    {
        perform_ = std::move(perform);
    }
    void publish(const RemoteState& state) override
    {
        // The title changes every second; readers work it out themselves.
        RemoteState withoutTitle = state;
        withoutTitle.title.clear();
        if (state_ == withoutTitle) {
            return;
        }
        state_ = std::move(withoutTitle);
        hooks_.statePublished(state);
    }

private:
    ProgramHooks& hooks_;
    std::function<RemoteResult(const RemoteCommand&)> perform_;
    std::optional<RemoteState> state_;
};

} // namespace lintara::win32
