#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "app/generator_window.h"
#include "app_gui_fixture.h"
#include "ui/forms.h"

namespace quillet::app {
namespace {

namespace forms = quillet::ui::forms;

class GeneratorWindowGuiTest : public AppGuiTest {
  protected:
    static void SetUpTestSuite() {
        set_up_windows([](AppState& state) { bind_generator_window(state); });
    }

    void SetUp() override {
        AppGuiTest::SetUp();
        windows().load_window(forms::record::window);
        user().click(forms::record::window, forms::record::random_password);
        ASSERT_TRUE(windows().is_open(forms::generator::window));
    }

    std::string generate(const std::string& length) {
        windows().set_text(forms::generator::window, forms::generator::length, "");
        user().type_text(forms::generator::window, forms::generator::length, length);
        user().click(forms::generator::window, forms::generator::generate);
        return result();
    }

    std::string result() { return windows().text(forms::generator::window, forms::generator::result); }
};

int count_if_char(const std::string& text, int (*test)(int)) {
    int count = 0;
    for (char c : text) count += test(static_cast<unsigned char>(c)) ? 1 : 0;
    return count;
}

TEST_F(GeneratorWindowGuiTest, TheCheckBoxesChooseTheClasses) {
    std::string password = generate("8");
    EXPECT_EQ(password.size(), 8u);
    EXPECT_EQ(count_if_char(password, isdigit), 8);

    user().click(forms::generator::window, forms::generator::mixed_case);
    password = generate("8");
    EXPECT_EQ(count_if_char(password, isalpha), 4);
    EXPECT_EQ(count_if_char(password, isdigit), 4);

    user().click(forms::generator::window, forms::generator::symbols);
    password = generate("10");
    EXPECT_EQ(count_if_char(password, isalpha), 5);
    EXPECT_EQ(count_if_char(password, ispunct), 2);
    EXPECT_EQ(count_if_char(password, isdigit), 3);

    user().click(forms::generator::window, forms::generator::mixed_case);
    password = generate("8");
    EXPECT_EQ(count_if_char(password, ispunct), 4);
    EXPECT_EQ(count_if_char(password, isdigit), 4);
    EXPECT_TRUE(shown().empty());
}

TEST_F(GeneratorWindowGuiTest, MissingAndOverlongLengthsAreToldAndKeepTheResult) {
    windows().set_text(forms::generator::window, forms::generator::result, "old");
    user().click(forms::generator::window, forms::generator::generate);
    EXPECT_EQ(balloons(), std::vector<std::string>{"请输入密码位数"});
    EXPECT_EQ(result(), "old");

    EXPECT_EQ(generate("124"), "old");
    EXPECT_EQ(balloons(), std::vector<std::string>{"密码位数不能超过123"});
    EXPECT_EQ(generate("99999999999"), "old");
    EXPECT_EQ(balloons(), std::vector<std::string>{"密码位数不能超过123"});

    EXPECT_EQ(generate("123").size(), 123u);
    EXPECT_TRUE(shown().empty());
}

TEST_F(GeneratorWindowGuiTest, ZeroOrNegativeLengthsGiveAnEmptyResultSilently) {
    for (const char* length : {"0", "-5", "-"}) {
        windows().set_text(forms::generator::window, forms::generator::result, "old");
        EXPECT_EQ(generate(length), "") << length;
    }
    EXPECT_TRUE(shown().empty());
}

TEST_F(GeneratorWindowGuiTest, ExportHandsTheResultToTheRecordWindowAndCloses) {
    windows().set_text(forms::record::window, forms::record::password, "before");
    const std::string password = generate("12");
    user().click(forms::generator::window, forms::generator::export_result);
    EXPECT_EQ(windows().text(forms::record::window, forms::record::password), password);
    EXPECT_FALSE(windows().is_open(forms::generator::window));

    // An empty result empties the password box.
    user().click(forms::record::window, forms::record::random_password);
    user().click(forms::generator::window, forms::generator::export_result);
    EXPECT_EQ(windows().text(forms::record::window, forms::record::password), "");
    EXPECT_FALSE(windows().is_open(forms::generator::window));
}

TEST_F(GeneratorWindowGuiTest, ExportAfterTheRecordWindowClosedOnlyClosesTheGenerator) {
    generate("8");
    windows().destroy_window(forms::record::window);
    user().click(forms::generator::window, forms::generator::export_result);
    EXPECT_FALSE(windows().is_open(forms::generator::window));
    EXPECT_FALSE(windows().is_open(forms::record::window));
    EXPECT_TRUE(shown().empty());
}

}  // namespace
}  // namespace quillet::app
