// SPDX-License-Identifier: MIT
// The tick timer as an NSTimer in the default run-loop mode, the workspace's
// wake notification, and Dispatch's main and global queues, with what reaches
// the main thread held in the deferral while an alert or the menu is open.
#pragma once

#import <Foundation/Foundation.h>

#include "AppKitSupport.hpp"
#include "Lintara/platform/Platform.hpp"

#include <functional>

namespace lintara::appkit {

class AppKitRunLoop final : public RunLoop {
public:
    Timer scheduledTimer(double interval, std::function<void()> callback, Repeats repeats) override;
};

class WorkspaceNotificationCenter final : public NotificationCenter {
public:
    explicit WorkspaceNotificationCenter(ModalDeferral& deferral);
    ~WorkspaceNotificationCenter() override;
    WorkspaceNotificationCenter(const WorkspaceNotificationCenter&) = delete;
    WorkspaceNotificationCenter& operator=(const WorkspaceNotificationCenter&) = delete;

    void addObserver(Notification name, std::function<void()> callback) override;

private:
    ModalDeferral& deferral_;
    NSMutableArray* observers_;
};

class GrandCentralDispatch final : public Dispatch {
public:
    explicit GrandCentralDispatch(ModalDeferral& deferral);

    DispatchQueue& main() override { return main_; }
    DispatchQueue& global(QualityOfService qos) override;

private:
    // The main dispatch queue, behind the deferral: a block first waits its
    // turn on the queue, then, if an alert is open, in the deferral.
    class MainQueue final : public DispatchQueue {
    public:
        explicit MainQueue(ModalDeferral& deferral);
        void async(std::function<void()> work) override;
        void asyncAfter(double seconds, std::function<void()> work) override;

    private:
        ModalDeferral& deferral_;
    };

    class GlobalQueue final : public DispatchQueue {
    public:
        explicit GlobalQueue(QualityOfService qos);
        void async(std::function<void()> work) override;
        void asyncAfter(double seconds, std::function<void()> work) override;

    private:
        QualityOfService qos_;
    };

    MainQueue main_;
    GlobalQueue utility_ { QualityOfService::utility };
    GlobalQueue defaultClass_ { QualityOfService::defaultClass };
};

// A drain of the deferral, as a fresh turn of the main queue: what the
// deferral asks for when the last alert or the menu has closed.
void scheduleDrain(ModalDeferral& deferral);

} // namespace lintara::appkit
