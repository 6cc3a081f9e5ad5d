#include <gtest/gtest.h>

#include <set>
#include <string_view>
#include <vector>

#include "tests/support/expect_reported.h"
#include "ui/event_bindings.h"
#include "ui/forms.h"

namespace quillet::ui {
namespace {

struct NamedForm {
    std::string_view window;
    std::vector<std::string_view> controls;
};

// Every constant of every window, so that one in the wrong window, a control without one
// and two constants for one control all show.
const std::vector<NamedForm> kNamedForms = {
    {forms::main::window,
     {forms::main::data_group, forms::main::list, forms::main::remark_group, forms::main::remark, forms::main::log_out,
      forms::main::open_ftp, forms::main::quit, forms::main::update_notice, forms::main::hot_keys,
      forms::main::idle_timer}},
    {forms::login::window, {forms::login::group, forms::login::password, forms::login::log_in, forms::login::tip}},
    {forms::setup::window, {forms::setup::group, forms::setup::password, forms::setup::finish, forms::setup::tip}},
    {forms::ftp::window,
     {forms::ftp::status_group, forms::ftp::settings_group, forms::ftp::labels, forms::ftp::address, forms::ftp::port,
      forms::ftp::account, forms::ftp::password, forms::ftp::path, forms::ftp::upload, forms::ftp::connect,
      forms::ftp::download}},
    {forms::record::window,
     {forms::record::group, forms::record::labels, forms::record::platform, forms::record::account,
      forms::record::password, forms::record::address, forms::record::remark, forms::record::confirm,
      forms::record::random_password}},
    {forms::generator::window,
     {forms::generator::group, forms::generator::labels, forms::generator::length, forms::generator::symbols,
      forms::generator::mixed_case, forms::generator::result, forms::generator::generate,
      forms::generator::export_result, forms::generator::tip}},
};

const std::vector<std::string_view> kMenuItems = {
    forms::main::menu::root,
    forms::main::menu::add,
    forms::main::menu::modify,
    forms::main::menu::remove,
    forms::main::menu::search,
    forms::main::menu::search_platform,
    forms::main::menu::search_address,
    forms::main::menu::copy,
    forms::main::menu::copy_account,
    forms::main::menu::copy_password,
    forms::main::menu::copy_account_and_password,
    forms::main::menu::copy_all,
    forms::main::menu::hot_key_hint,
    forms::main::menu::password,
    forms::main::menu::reveal_password,
    forms::main::menu::visit,
    forms::main::menu::refresh,
};

TEST(FormNames, EveryControlOfEveryFormHasExactlyOneConstantOfItsOwnWindow) {
    ASSERT_EQ(all_forms().size(), kNamedForms.size());
    for (const NamedForm& named : kNamedForms) {
        const FormDef* form = find_form(named.window);
        ASSERT_NE(form, nullptr) << named.window;
        std::set<std::string_view> distinct;
        for (std::string_view control : named.controls) {
            EXPECT_NE(find_control(*form, control), nullptr) << named.window << " lacks " << control;
            EXPECT_TRUE(distinct.insert(control).second) << named.window << " names " << control << " twice";
        }
        EXPECT_EQ(named.controls.size(), form->controls.size()) << named.window << " has a control without a constant";
    }
    const FormDef& main = *find_form(forms::main::window);
    EXPECT_EQ(std::set<std::string_view>(kMenuItems.begin(), kMenuItems.end()).size(), main.menu.size());
    for (std::string_view item : kMenuItems) EXPECT_NE(find_menu_item(main, item), nullptr) << item;
}

TEST(FormNames, KnownNamesPassTheCheckWithoutAWord) {
    testing::internal::CaptureStderr();
    for (const NamedForm& named : kNamedForms) {
        EXPECT_TRUE(forms::check_control(named.window, "")) << "the window itself";
        for (std::string_view control : named.controls) EXPECT_TRUE(forms::check_control(named.window, control));
    }
    for (std::string_view item : kMenuItems) EXPECT_TRUE(forms::check_menu_item(forms::main::window, item));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(FormNamesDeathTest, AnUnknownWindowControlOrMenuItemIsReportedWithItsNames) {
    EXPECT_REPORTED(forms::check_control("mian", ""), "unknown window \"mian\"");
    EXPECT_REPORTED(forms::check_control("mian", forms::main::list), "unknown window \"mian\"");
    EXPECT_REPORTED(forms::check_control(forms::login::window, "no such box"),
                    "unknown control \"no such box\" in window \"login\"");
    // A real control, but of another window.
    EXPECT_REPORTED(forms::check_control(forms::main::window, forms::ftp::address),
                    "unknown control .* in window \"main\"");
    EXPECT_REPORTED(forms::check_menu_item(forms::main::window, "no such item"),
                    "unknown menu item \"no such item\" in window \"main\"");
    EXPECT_REPORTED(forms::check_menu_item(forms::ftp::window, forms::main::menu::add),
                    "unknown menu item .* in window \"ftp\"");
}

// A handler bound to a misspelt name would simply never run.
TEST(FormNamesDeathTest, BindingAHandlerToAnUnknownNameIsReported) {
    EventBindings bindings;
    EXPECT_REPORTED(bindings.bind(forms::record::window, "no such button", Event::kClicked, [](int, int) {}),
                    "unknown control \"no such button\" in window \"record\"");
    // Menu items are bound by caption; a control name there is as wrong as a misspelling.
    EXPECT_REPORTED(bindings.bind(forms::main::window, forms::main::list, Event::kChosen, [](int, int) {}),
                    "unknown menu item .* in window \"main\"");
    testing::internal::CaptureStderr();
    bindings.bind(forms::main::window, forms::main::menu::add, Event::kChosen, [](int, int) {});
    bindings.bind(forms::main::window, forms::main::list, Event::kClicked, [](int, int) {});
    bindings.bind(forms::main::window, "", Event::kCreated, [](int, int) {});
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(bindings.handlers(forms::main::window, forms::main::menu::add, Event::kChosen).size(), 1u);
}

}  // namespace
}  // namespace quillet::ui
