#include "WrapperComponentLyraRM.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "NotificationCodes.h"

using namespace rollmode::core;

namespace {

// A control group as the real ones are written: base handler first, then a refresh
// on the codes it cares about.
class CountingGroup : public TWrapperComponentLyraRM {
public:
    void HandleNotification(int32_t code, int32_t& group) override {
        TWrapperComponentLyraRM::HandleNotification(code, group);
        codes.push_back(code);
        if (code == kNotifyStartup || code == kNotifySettingsChanged) RefreshControls();
    }
    void RefreshControls() override { ++refreshes; }

    std::vector<int32_t> codes;
    int refreshes = 0;
};

}  // namespace

TEST(WrapperComponent, SettingTheScopeRegistersWithTheControlGroup) {
    TVirtualScopeLyraRM scope;
    CountingGroup trigger;
    trigger.SetControlGroup(kGroupTriggerControls);
    trigger.SetVirtualScope(&scope);
    EXPECT_EQ(trigger.VirtualScope(), &scope);
    ASSERT_EQ(scope.ListenerCount(), 1u);
    EXPECT_EQ(scope.ListenerCallback(0), &trigger);
    EXPECT_EQ(scope.ListenerGroup(0), kGroupTriggerControls);

    scope.InitializeApplication();
    int32_t group = kGroupTriggerControls;
    scope.NotifyListeners(kNotifySettingsChanged, group);
    EXPECT_EQ(trigger.codes, (std::vector<int32_t>{kNotifyLoadStartupSettings, kNotifyStartup, kNotifySettingsChanged}));
    EXPECT_EQ(trigger.refreshes, 2);
}

TEST(WrapperComponent, ShutdownUnregistersAndClearsTheScope) {
    TVirtualScopeLyraRM scope;
    CountingGroup density, source;
    density.SetControlGroup(kGroupDensityControls);
    source.SetControlGroup(kGroupSourceControls);
    density.SetVirtualScope(&scope);
    source.SetVirtualScope(&scope);
    scope.InitializeApplication();
    scope.ShutdownApplication();
    EXPECT_EQ(scope.ListenerCount(), 0u);
    EXPECT_EQ(density.VirtualScope(), nullptr);
    EXPECT_EQ(source.VirtualScope(), nullptr);
    EXPECT_EQ(source.codes.back(), kNotifyShutdown);
}

TEST(WrapperComponent, DestructionLeavesTheModelAndOnlyItsOwnEntry) {
    TVirtualScopeLyraRM scope;
    CountingGroup stays;
    stays.SetVirtualScope(&scope);
    {
        CountingGroup goes;
        goes.SetVirtualScope(&scope);
        ASSERT_EQ(scope.ListenerCount(), 2u);
    }
    ASSERT_EQ(scope.ListenerCount(), 1u);
    EXPECT_EQ(scope.ListenerCallback(0), &stays);

    // A null scope registers nothing.
    CountingGroup loose;
    loose.SetVirtualScope(nullptr);
    EXPECT_EQ(scope.ListenerCount(), 1u);
}

TEST(WrapperComponent, AssigningTheScopeAgainDoesNotLeaveAStaleEntry) {
    TVirtualScopeLyraRM first, second;
    auto group = std::make_unique<CountingGroup>();
    group->SetVirtualScope(&first);
    group->SetVirtualScope(&first);
    EXPECT_EQ(first.ListenerCount(), 1u);
    group->SetVirtualScope(&second);
    EXPECT_EQ(first.ListenerCount(), 0u);
    EXPECT_EQ(second.ListenerCount(), 1u);
    group.reset();
    EXPECT_EQ(second.ListenerCount(), 0u);
    // Nothing left behind to call into a destroyed group.
    second.InitializeApplication();
    second.NotifyListeners(kNotifySettingsChanged, kGroupScope);
}
