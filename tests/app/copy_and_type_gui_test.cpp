// The copy commands and the F1/F2/F3 keys on the real window layer (offscreen), with the
// clipboard, the hot keys and the typist recorded instead of reaching the desktop.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/copy_and_type.h"
#include "app/record_list.h"
#include "app/text_cipher.h"
#include "platform/recording_clipboard.h"
#include "platform/recording_hot_keys.h"
#include "platform/recording_typist.h"
#include "tests/app/forwarding_window_layer.h"
#include "tests/support/scripted_user.h"
#include "ui/dialog_script.h"
#include "ui/forms.h"
#include "ui/qt_window_layer.h"

namespace quillet::app {
namespace forms = quillet::ui::forms;

namespace {

using platform::HotKey;
using platform::Sensitivity;
using Action = platform::RecordingTypist::Action;

// Records the pauses instead of waiting, with how many typing actions preceded each.
class PauseRecordingLayer : public ForwardingWindowLayer {
  public:
    using ForwardingWindowLayer::ForwardingWindowLayer;
    void wait_processing_events(int ms) override {
        pauses.push_back({ms, typist_ ? typist_->actions().size() : 0});
        if (during_pause) during_pause();
    }
    void watch(platform::RecordingTypist* typist) { typist_ = typist; }

    std::vector<std::pair<int, std::size_t>> pauses;
    std::function<void()> during_pause;

  private:
    platform::RecordingTypist* typist_ = nullptr;
};

struct Row {
    std::string platform, account, password, address, remark;
};

class CopyAndTypeTest : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        if (qt_ != nullptr) return;  // bindings outlive windows: one layer and one binding per process
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        qt_ = new ui::QtWindowLayer();
        user_ = new ui::ScriptedUser(*qt_);
        ui::set_dialog_script(&dialogs_);
        layer_ = new PauseRecordingLayer(*qt_);
        state_ = new AppState(*layer_);
        bind_copy_and_type(*state_);
        layer_->bind(forms::main::window, forms::main::hot_keys, ui::Event::kFeedback,
                     [](int identifier, int) { feedback_->push_back(identifier); });
    }

    void SetUp() override {
        feedback_ = &feedback;
        platform::set_clipboard(&clipboard);
        platform::set_hot_keys(&hot_keys);
        platform::set_typist(&typist);
        layer_->pauses.clear();
        layer_->during_pause = nullptr;
        layer_->watch(&typist);
        typist.set_pointer_window(7);
        layer_->load_window(forms::main::window);
    }

    void TearDown() override {
        layer_->destroy_window(forms::main::window);
        layer_->watch(nullptr);
        platform::set_clipboard(nullptr);
        platform::set_hot_keys(nullptr);
        platform::set_typist(nullptr);
    }

    // A list row as the list load writes it: the stored cipher text shown in column 3
    // and kept as that cell's data.
    static int add_row(const Row& row, const std::string& cipher_key = std::string(kCipherKey)) {
        int index = layer_->list_append_row(forms::main::window, forms::main::list);
        const std::string cipher = encipher(row.password, cipher_key);
        const std::string cells[] = {"1", row.platform, row.account, cipher, row.address, row.remark};
        for (int column = 0; column < 6; ++column) {
            layer_->list_set_cell(forms::main::window, forms::main::list, index, column, cells[column]);
        }
        layer_->list_set_cell_data(forms::main::window, forms::main::list, index, kPasswordColumn, cipher);
        return index;
    }

    static void select(int row) { layer_->list_select_row(forms::main::window, forms::main::list, row); }
    static void choose(std::string_view item) { user_->choose_menu_item(forms::main::window, item); }

    std::vector<int> identifiers_pressed(std::initializer_list<HotKey> keys) {
        feedback.clear();
        for (HotKey key : keys) EXPECT_TRUE(hot_keys.press(key));
        return feedback;
    }

    platform::RecordingClipboard clipboard;
    platform::RecordingHotKeys hot_keys;
    platform::RecordingTypist typist;
    std::vector<int> feedback;

    static inline ui::QtWindowLayer* qt_ = nullptr;
    static inline ui::ScriptedUser* user_ = nullptr;
    static inline ui::DialogScript dialogs_;
    static inline PauseRecordingLayer* layer_ = nullptr;
    static inline AppState* state_ = nullptr;
    static inline std::vector<int>* feedback_ = nullptr;
};

TEST_F(CopyAndTypeTest, CopyCommandsComposeTheSelectedRowWithTwoSpaceSeparators) {
    add_row({"other", "x", "y", "z", "r"});
    select(add_row({"P", "A", "W", "U", ""}));

    for (auto item : {"复制账号", "复制密码", "账号+密码", "复制所有"}) choose(item);

    auto copies = clipboard.copies();
    ASSERT_EQ(copies.size(), 4u);
    EXPECT_EQ(copies[0].text, "A");
    EXPECT_EQ(copies[1].text, "W");
    EXPECT_EQ(copies[2].text, "A  W");
    EXPECT_EQ(copies[3].text, "P  A  W  U  ");
    // Only the account alone is no secret.
    EXPECT_EQ(copies[0].sensitivity, Sensitivity::kPlain);
    for (int i = 1; i < 4; ++i) EXPECT_EQ(copies[i].sensitivity, Sensitivity::kSecret) << i;
}

TEST_F(CopyAndTypeTest, EmptyCellsKeepTheirSeparators) {
    select(add_row({"", "", "W", "", "备注"}));
    choose(forms::main::menu::copy_account_and_password);
    choose(forms::main::menu::copy_all);
    auto copies = clipboard.copies();
    ASSERT_EQ(copies.size(), 2u);
    EXPECT_EQ(copies[0].text, "  W");
    EXPECT_EQ(copies[1].text, "    W    备注");
}

TEST_F(CopyAndTypeTest, PasswordComesFromTheStoredCipherTextEvenWhenTheCellShowsItRevealed) {
    int row = add_row({"P", "中文账号", "密码W", "U", ""});
    layer_->list_set_cell(forms::main::window, forms::main::list, row, kPasswordColumn, "密码W");  // 显示真实密码
    select(row);
    choose(forms::main::menu::copy_password);
    hot_keys.press(HotKey::kF2);
    ASSERT_EQ(clipboard.copies().size(), 1u);
    EXPECT_EQ(clipboard.copies()[0].text, "密码W");
    EXPECT_EQ(typist.actions(), (std::vector<Action>{{Action::kText, 7, "密码W"}}));
}

TEST_F(CopyAndTypeTest, PasswordThatDoesNotDecipherCopiesEmptyTextAndTypesNothing) {
    select(add_row({"P", "A", "W", "U", ""}, "another key"));
    choose(forms::main::menu::copy_password);
    choose(forms::main::menu::copy_account_and_password);
    hot_keys.press(HotKey::kF2);
    auto copies = clipboard.copies();
    ASSERT_EQ(copies.size(), 2u);
    EXPECT_EQ(copies[0].text, "");
    EXPECT_EQ(copies[1].text, "A  ");
    EXPECT_TRUE(typist.actions().empty());
}

TEST_F(CopyAndTypeTest, WithoutSelectedRowNothingIsTypedAndEmptyTextIsCopied) {
    add_row({"P", "A", "W", "U", ""});
    select(-1);
    choose(forms::main::menu::copy_account);
    hot_keys.press(HotKey::kF1);
    hot_keys.press(HotKey::kF2);
    ASSERT_EQ(clipboard.copies().size(), 1u);
    EXPECT_EQ(clipboard.copies()[0].text, "");
    EXPECT_TRUE(typist.actions().empty());
}

TEST_F(CopyAndTypeTest, F1TypesTheAccountAndF2ThePasswordIntoTheWindowUnderThePointer) {
    select(add_row({"P", "账号A", "W", "U", ""}));
    hot_keys.press(HotKey::kF1);
    typist.set_pointer_window(9);
    hot_keys.press(HotKey::kF2);
    EXPECT_EQ(typist.actions(), (std::vector<Action>{{Action::kText, 7, "账号A"}, {Action::kText, 9, "W"}}));
    EXPECT_TRUE(layer_->pauses.empty());
}

TEST_F(CopyAndTypeTest, F3TypesAccountThenTabThenPasswordIntoTheWindowUnderThePointerThen) {
    select(add_row({"P", "A", "W", "U", ""}));
    typist.set_top_level(7, 70);
    typist.set_top_level(8, 70);
    // The pointer moves meanwhile, to another box of the same window.
    layer_->during_pause = [this] { typist.set_pointer_window(8); };
    hot_keys.press(HotKey::kF3);
    EXPECT_EQ(typist.actions(),
              (std::vector<Action>{{Action::kText, 7, "A"}, {Action::kTab, 0, ""}, {Action::kText, 8, "W"}}));
    // 500 ms after the account, and 500 ms after the Tab.
    EXPECT_EQ(layer_->pauses, (std::vector<std::pair<int, std::size_t>>{{500, 1}, {500, 2}}));
}

TEST_F(CopyAndTypeTest, F3TypesNoPasswordOnceThePointerIsOverAnotherProgram) {
    select(add_row({"P", "A", "W", "U", ""}));
    typist.set_top_level(7, 70);
    for (const platform::DesktopWindow elsewhere : {platform::DesktopWindow{8}, platform::DesktopWindow{0}}) {
        typist.clear();
        typist.set_pointer_window(7);
        layer_->during_pause = [this, elsewhere] { typist.set_pointer_window(elsewhere); };
        hot_keys.press(HotKey::kF3);
        EXPECT_EQ(typist.actions(), (std::vector<Action>{{Action::kText, 7, "A"}, {Action::kTab, 0, ""}}))
            << "pointer over " << elsewhere;
    }
}

// A window that does not take the focus would leave the keys to whichever window has it.
TEST_F(CopyAndTypeTest, NothingMoreIsTypedWhenTheWindowRefusesTheFocus) {
    select(add_row({"P", "A", "W", "U", ""}));
    typist.refuse_focus(7);
    hot_keys.press(HotKey::kF3);
    EXPECT_TRUE(typist.actions().empty());
    EXPECT_TRUE(layer_->pauses.empty());  // no Tab, no password after it
}

TEST_F(CopyAndTypeTest, EachMainWindowTakesTheNextThreeIdentifiersAndGivesTheKeysBackWhenItCloses) {
    std::vector<int> first = identifiers_pressed({HotKey::kF1, HotKey::kF2, HotKey::kF3});
    ASSERT_EQ(first.size(), 3u);
    EXPECT_GE(first[0], kFirstHotKeyIdentifier);
    EXPECT_EQ((first[0] - kFirstHotKeyIdentifier) % 3, 0);
    EXPECT_EQ(first[1], first[0] + 1);
    EXPECT_EQ(first[2], first[0] + 2);

    layer_->destroy_window(forms::main::window);  // logout
    for (HotKey key : {HotKey::kF1, HotKey::kF2, HotKey::kF3}) EXPECT_FALSE(hot_keys.is_held(key));

    layer_->load_window(forms::main::window);  // the next login
    EXPECT_EQ(identifiers_pressed({HotKey::kF1, HotKey::kF2, HotKey::kF3}),
              (std::vector<int>{first[0] + 3, first[0] + 4, first[0] + 5}));
}

TEST_F(CopyAndTypeTest, RefusedKeyGetsIdentifierZeroWhileTheOthersKeepWorking) {
    layer_->destroy_window(forms::main::window);
    hot_keys.take_elsewhere(HotKey::kF2);
    layer_->load_window(forms::main::window);
    select(add_row({"P", "A", "W", "U", ""}));

    EXPECT_FALSE(hot_keys.is_held(HotKey::kF2));
    std::vector<int> pressed = identifiers_pressed({HotKey::kF1, HotKey::kF3});
    ASSERT_EQ(pressed.size(), 2u);
    EXPECT_EQ(pressed[1], pressed[0] + 2);  // the refused key still used up its identifier

    // A feedback of 0 (the refused key's identifier) or of an identifier of no key types nothing.
    typist.clear();
    layer_->raise(forms::main::window, forms::main::hot_keys, ui::Event::kFeedback, 0, 0);
    layer_->raise(forms::main::window, forms::main::hot_keys, ui::Event::kFeedback, pressed[0] + 1, 0);
    layer_->raise(forms::main::window, forms::main::hot_keys, ui::Event::kFeedback, pressed[0] - 3, 0);
    EXPECT_TRUE(typist.actions().empty());
}

TEST_F(CopyAndTypeTest, FirstRunPasswordGoesToTheClipboardAsASecret) {
    copy_secret_to_clipboard("新密码1");
    ASSERT_EQ(clipboard.copies().size(), 1u);
    EXPECT_EQ(clipboard.copies()[0].text, "新密码1");
    EXPECT_EQ(clipboard.copies()[0].sensitivity, Sensitivity::kSecret);
}

}  // namespace
}  // namespace quillet::app
