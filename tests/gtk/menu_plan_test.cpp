// SPDX-License-Identifier: MIT
// The tray keeps one set of menu widgets for the whole run and changes them in
// place. These tests pin down what the planner asks to change: nothing that
// would give entries new ids while the menu keeps its shape, and nothing
// that could leave a widget showing something other than the model.
#include "Lintara/platform/gtk/MenuPlan.hpp"

#include <gtest/gtest.h>

namespace lintara::gtk {
namespace {

    MenuItem info(std::string title)
    {
        MenuItem item;
        item.title = std::move(title);
        return item;
    }

    MenuItem check(std::string title, ControlState state, std::optional<bool> enabled = std::nullopt)
    {
        MenuItem item;
        item.title = std::move(title);
        item.action = Action::preset;
        item.state = state;
        item.enabled = enabled;
        return item;
    }

    // The controller's menu in miniature: an information line, a check entry,
    // a separator and an entry with a key equivalent.
    Menu sample(std::string line = "VPN 연결됨", ControlState state = ControlState::on, bool busy = false)
    {
        Menu menu;
        menu.addItem(info(std::move(line)));
        menu.addItem(check("1시간", state, !busy));
        menu.addItem(MenuItem::separatorItem());
        MenuItem quit = info("종료 (예약도 취소)");
        quit.action = Action::quitApp;
        quit.keyEquivalent = "q";
        quit.enabled = !busy;
        menu.addItem(std::move(quit));
        menu.setAutoenablesItems(AutoenablesItems::no);
        // Never called: the planner only asks whether the menu takes choices.
        menu.onChoose = [](const MenuItem&) {};
        return menu;
    }

    TEST(MenuPlan, RebuildsOnlyWhenTheShapeChanges)
    {
        // Nothing shown yet.
        EXPECT_EQ(planMenuUpdate(std::nullopt, sample()).rebuild, MenuRebuild::yes);

        // The same menu again, as on every tick: no work at all.
        const MenuPlan same = planMenuUpdate(sample(), sample());
        EXPECT_EQ(same.rebuild, MenuRebuild::no);
        EXPECT_TRUE(same.updates.empty());

        // One entry more.
        Menu longer = sample();
        longer.addItem(info("extra"));
        EXPECT_EQ(planMenuUpdate(sample(), longer).rebuild, MenuRebuild::yes);

        // A plain entry where a check entry was: a plain widget cannot show
        // the mark.
        Menu unchecked = sample();
        unchecked.items[1].state.reset();
        EXPECT_EQ(planMenuUpdate(sample(), unchecked).rebuild, MenuRebuild::yes);

        // A separator moved.
        Menu moved = sample();
        std::swap(moved.items[2], moved.items[3]);
        EXPECT_EQ(planMenuUpdate(sample(), moved).rebuild, MenuRebuild::yes);

        // Another key equivalent: the accelerator is bound when the widget
        // is made.
        Menu otherKey = sample();
        otherKey.items[3].keyEquivalent = "w";
        EXPECT_EQ(planMenuUpdate(sample(), otherKey).rebuild, MenuRebuild::yes);
    }

    TEST(MenuPlan, ChangesOnlyWhatDiffers)
    {
        const MenuPlan plan = planMenuUpdate(
            sample("VPN 연결됨", ControlState::on, false), sample("VPN 연결 안 됨", ControlState::off, true));
        ASSERT_EQ(plan.rebuild, MenuRebuild::no);
        ASSERT_EQ(plan.updates.size(), 3U);

        EXPECT_EQ(plan.updates[0].index, 0U);
        EXPECT_EQ(plan.updates[0].title, "VPN 연결 안 됨");
        EXPECT_FALSE(plan.updates[0].checked);
        EXPECT_FALSE(plan.updates[0].sensitive);

        EXPECT_EQ(plan.updates[1].index, 1U);
        EXPECT_FALSE(plan.updates[1].title);
        EXPECT_EQ(plan.updates[1].checked, false);
        EXPECT_EQ(plan.updates[1].sensitive, false);

        EXPECT_EQ(plan.updates[2].index, 3U);
        EXPECT_FALSE(plan.updates[2].title);
        EXPECT_EQ(plan.updates[2].sensitive, false);

        // And back: every flag returns.
        const MenuPlan back = planMenuUpdate(sample("VPN 연결 안 됨", ControlState::off, true), sample());
        ASSERT_EQ(back.updates.size(), 3U);
        EXPECT_EQ(back.updates[1].checked, true);
        EXPECT_EQ(back.updates[1].sensitive, true);
        EXPECT_EQ(back.updates[2].sensitive, true);
    }

    TEST(MenuPlan, EnabledFlagsFollowTheModel)
    {
        // With automatic enabling off an unset flag means enabled, also on
        // an entry that leads nowhere, and an explicit flag holds as given.
        Menu manual = sample();
        EXPECT_TRUE(entrySensitive(manual, manual.items[0]));
        manual.items[1].enabled = false;
        EXPECT_FALSE(entrySensitive(manual, manual.items[1]));

        // With it on, what leads somewhere is enabled and the rest is not,
        // whatever the entries' own flags say.
        Menu automatic = sample();
        automatic.setAutoenablesItems(AutoenablesItems::yes);
        automatic.items[1].enabled = false;
        EXPECT_FALSE(entrySensitive(automatic, automatic.items[0]));
        EXPECT_TRUE(entrySensitive(automatic, automatic.items[1]));

        // Switching the menu's mode alone is a change the widgets must see.
        const MenuPlan plan = planMenuUpdate(sample(), automatic);
        ASSERT_EQ(plan.rebuild, MenuRebuild::no);
        ASSERT_EQ(plan.updates.size(), 1U);
        EXPECT_EQ(plan.updates[0].index, 0U);
        EXPECT_EQ(plan.updates[0].sensitive, false);
    }

} // namespace
} // namespace lintara::gtk
