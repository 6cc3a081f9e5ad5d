#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "app/generator_window.h"
#include "app_gui_fixture.h"

namespace quillet::app {
namespace {

using ui::kGeneratorWindow;
using ui::kRecordWindow;

class GeneratorWindowGuiTest : public AppGuiTest {
  protected:
    static void SetUpTestSuite() {
        set_up_windows([](AppState& state) { bind_generator_window(state); });
    }

    void SetUp() override {
        AppGuiTest::SetUp();
        windows().load_window(kRecordWindow);
        user().click(kRecordWindow, "按钮_随机密码");
        ASSERT_TRUE(windows().is_open(kGeneratorWindow));
    }

    std::string generate(const std::string& length) {
        windows().set_text(kGeneratorWindow, "编辑框_位数", "");
        user().type_text(kGeneratorWindow, "编辑框_位数", length);
        user().click(kGeneratorWindow, "按钮_生成");
        return result();
    }

    std::string result() { return windows().text(kGeneratorWindow, "编辑框_结果"); }
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

    user().click(kGeneratorWindow, "选择框_大小英文");
    password = generate("8");
    EXPECT_EQ(count_if_char(password, isalpha), 4);
    EXPECT_EQ(count_if_char(password, isdigit), 4);

    user().click(kGeneratorWindow, "选择框_符号");
    password = generate("10");
    EXPECT_EQ(count_if_char(password, isalpha), 5);
    EXPECT_EQ(count_if_char(password, ispunct), 2);
    EXPECT_EQ(count_if_char(password, isdigit), 3);

    user().click(kGeneratorWindow, "选择框_大小英文");
    password = generate("8");
    EXPECT_EQ(count_if_char(password, ispunct), 4);
    EXPECT_EQ(count_if_char(password, isdigit), 4);
    EXPECT_TRUE(shown().empty());
}

TEST_F(GeneratorWindowGuiTest, MissingAndOverlongLengthsAreToldAndKeepTheResult) {
    windows().set_text(kGeneratorWindow, "编辑框_结果", "old");
    user().click(kGeneratorWindow, "按钮_生成");
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
        windows().set_text(kGeneratorWindow, "编辑框_结果", "old");
        EXPECT_EQ(generate(length), "") << length;
    }
    EXPECT_TRUE(shown().empty());
}

TEST_F(GeneratorWindowGuiTest, ExportHandsTheResultToTheRecordWindowAndCloses) {
    windows().set_text(kRecordWindow, "编辑框_密码", "before");
    const std::string password = generate("12");
    user().click(kGeneratorWindow, "按钮_导出");
    EXPECT_EQ(windows().text(kRecordWindow, "编辑框_密码"), password);
    EXPECT_FALSE(windows().is_open(kGeneratorWindow));

    // An empty result empties the password box.
    user().click(kRecordWindow, "按钮_随机密码");
    user().click(kGeneratorWindow, "按钮_导出");
    EXPECT_EQ(windows().text(kRecordWindow, "编辑框_密码"), "");
    EXPECT_FALSE(windows().is_open(kGeneratorWindow));
}

TEST_F(GeneratorWindowGuiTest, ExportAfterTheRecordWindowClosedOnlyClosesTheGenerator) {
    generate("8");
    windows().destroy_window(kRecordWindow);
    user().click(kGeneratorWindow, "按钮_导出");
    EXPECT_FALSE(windows().is_open(kGeneratorWindow));
    EXPECT_FALSE(windows().is_open(kRecordWindow));
    EXPECT_TRUE(shown().empty());
}

}  // namespace
}  // namespace quillet::app
