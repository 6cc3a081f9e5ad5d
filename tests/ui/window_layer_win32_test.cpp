// The Win32 window layer through its interface, checked against the Win32 windows it
// makes: form geometry, lists with hidden columns and data, group boxes, edit box input
// rules, menus, timers and work handed over from other threads.
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <thread>
#include <vector>

#include "tests/ui/win32_layer_fixture.h"
#include "ui/forms.h"

namespace quillet::ui {
namespace {

TEST_F(Win32WindowLayerTest, WindowsHaveTheFormsOuterSizeAndControlsTheirClientPlaces) {
    layer_->load_window(forms::login::window);
    HWND login = top(forms::login::window);  // caption "Login"
    ASSERT_NE(login, nullptr);
    RECT outer{};
    GetWindowRect(login, &outer);
    EXPECT_EQ(outer.right - outer.left, 229);
    EXPECT_EQ(outer.bottom - outer.top, 125);
    // The password box lies at (9, 19) inside the group box at (8, 8): (17, 27) in the client area.
    POINT inside{17 + 2, 27 + 2};
    HWND edit = ChildWindowFromPointEx(login, inside, CWP_SKIPTRANSPARENT);
    wchar_t type[16] = {};
    GetClassNameW(edit, type, 16);
    EXPECT_STREQ(type, L"Edit");
    RECT box{};
    GetWindowRect(edit, &box);
    MapWindowPoints(HWND_DESKTOP, login, reinterpret_cast<POINT*>(&box), 2);
    EXPECT_EQ(box.left, 17);
    EXPECT_EQ(box.top, 27);
    EXPECT_EQ(box.right - box.left, 192);
    EXPECT_EQ(box.bottom - box.top, 24);
}

// Where the words (runs of CJK ideographs) of a label are drawn, in the label's font with
// its lines as many pixels apart as the font is large; the forms place their edit boxes
// beside those words, with runs of spaces and empty lines between them.
std::vector<RECT> label_words(HWND window, HWND label) {
    const int length = GetWindowTextLengthW(label);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    GetWindowTextW(label, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(length));
    RECT origin{};
    GetWindowRect(label, &origin);
    MapWindowPoints(HWND_DESKTOP, window, reinterpret_cast<POINT*>(&origin), 2);
    HDC dc = GetDC(label);
    const auto font = reinterpret_cast<HFONT>(SendMessageW(label, WM_GETFONT, 0, 0));
    HGDIOBJ old = SelectObject(dc, font);
    LOGFONTW asked{};
    GetObjectW(font, sizeof asked, &asked);
    const int pitch = asked.lfHeight < 0 ? -asked.lfHeight : asked.lfHeight;
    auto width = [dc](std::wstring_view part) {
        SIZE size{};
        GetTextExtentPoint32W(dc, part.data(), static_cast<int>(part.size()), &size);
        return static_cast<int>(size.cx);
    };
    std::vector<RECT> words;
    int top = origin.top;
    for (std::size_t start = 0; start <= text.size();) {
        std::size_t end = text.find(L"\r\n", start);
        if (end == std::wstring::npos) end = text.size();
        const std::wstring_view line(text.data() + start, end - start);
        for (std::size_t i = 0; i < line.size();) {
            auto ideograph = [&line](std::size_t k) { return line[k] >= 0x4E00 && line[k] <= 0x9FFF; };
            if (!ideograph(i)) {
                ++i;
                continue;
            }
            std::size_t j = i;
            while (j < line.size() && ideograph(j)) ++j;
            const int left = origin.left + width(line.substr(0, i));
            words.push_back(RECT{left, top, left + width(line.substr(i, j - i)), top + pitch});
            i = j;
        }
        top += pitch;
        start = end + 2;
    }
    SelectObject(dc, old);
    ReleaseDC(label, dc);
    return words;
}

TEST_F(Win32WindowLayerTest, NoLabelWordLiesUnderAnotherControl) {
    for (std::string_view name :
         {forms::ftp::window, forms::record::window, forms::generator::window}) {  // the forms with texts in labels
        SCOPED_TRACE(name);
        layer_->load_window(name);
        HWND window = top(name);
        ASSERT_NE(window, nullptr);
        std::vector<HWND> labels;
        std::vector<RECT> others;
        for (HWND child = GetWindow(window, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
            wchar_t type[32] = {};
            GetClassNameW(child, type, 32);
            const bool group_box = (GetWindowLongPtrW(child, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX;
            if (std::wstring_view(type) == L"Static") {
                if (IsWindowVisible(child)) labels.push_back(child);
            } else if (IsWindowVisible(child) && !(std::wstring_view(type) == L"Button" && group_box)) {
                RECT area{};
                GetWindowRect(child, &area);
                MapWindowPoints(HWND_DESKTOP, window, reinterpret_cast<POINT*>(&area), 2);
                others.push_back(area);
            }
        }
        int words = 0;
        for (HWND label : labels) {
            for (const RECT& word : label_words(window, label)) {
                ++words;
                for (const RECT& other : others) {
                    RECT overlap{};
                    EXPECT_FALSE(IntersectRect(&overlap, &word, &other))
                        << "a word at (" << word.left << ", " << word.top << ")-(" << word.right << ", "
                        << word.bottom << ") under a control at (" << other.left << ", " << other.top << ")";
                }
            }
        }
        EXPECT_GT(words, 0);
        layer_->destroy_window(name);
    }
}

TEST_F(Win32WindowLayerTest, OneLineEditBoxesAreHighEnoughForTheirFont) {
    for (const FormDef& form : all_forms()) {
        layer_->load_window(form.name);
        HWND window = top(form.name);
        ASSERT_NE(window, nullptr);
        for (HWND child = GetWindow(window, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
            wchar_t type[32] = {};
            GetClassNameW(child, type, 32);
            if (std::wstring_view(type) != L"Edit" || (GetWindowLongPtrW(child, GWL_STYLE) & ES_MULTILINE)) continue;
            RECT client{};
            GetClientRect(child, &client);
            HDC dc = GetDC(child);
            HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(child, WM_GETFONT, 0, 0)));
            TEXTMETRICW metrics{};
            GetTextMetricsW(dc, &metrics);
            SelectObject(dc, old);
            ReleaseDC(child, dc);
            // Taller, and the bottom of every line (descenders, the foot of CJK characters) is cut off.
            EXPECT_LE(metrics.tmHeight, client.bottom) << form.name;
        }
        layer_->destroy_window(form.name);
    }
}

TEST_F(Win32WindowLayerTest, ListCellsKeepShownAndHiddenTextsAndHiddenColumnsHaveNoWidth) {
    layer_->load_window(forms::main::window);
    std::string_view list = forms::main::list;
    const int row = layer_->list_append_row(forms::main::window, list);
    layer_->list_set_cell(forms::main::window, list, row, 0, "17");  // the ID column, width 0
    layer_->list_set_cell(forms::main::window, list, row, 1, "平台");
    layer_->list_set_cell_data(forms::main::window, list, row, 3, "cipher");
    layer_->list_append_rows(forms::main::window, list, {{"18", "第二"}, {"19"}});
    EXPECT_EQ(layer_->list_row_count(forms::main::window, list), 3);
    EXPECT_EQ(layer_->list_cell(forms::main::window, list, 0, 0), "17");
    EXPECT_EQ(layer_->list_cell(forms::main::window, list, 0, 1), "平台");
    EXPECT_EQ(layer_->list_cell_data(forms::main::window, list, 0, 3), "cipher");
    EXPECT_EQ(layer_->list_cell(forms::main::window, list, 1, 1), "第二");
    EXPECT_EQ(layer_->list_cell(forms::main::window, list, 9, 1), "");  // a missing row reads as empty
    EXPECT_EQ(layer_->list_selected_row(forms::main::window, list), -1);
    layer_->list_select_row(forms::main::window, list, 2);
    EXPECT_EQ(layer_->list_selected_row(forms::main::window, list), 2);

    HWND view = FindWindowExW(top(forms::main::window), nullptr, WC_LISTVIEWW, nullptr);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(ListView_GetItemCount(view), 3);
    EXPECT_EQ(ListView_GetColumnWidth(view, 0), 0);
    EXPECT_EQ(ListView_GetColumnWidth(view, 1), 100);
    wchar_t text[32] = {};
    ListView_GetItemText(view, 0, 1, text, 32);
    EXPECT_STREQ(text, L"\u5E73\u53F0");
    layer_->list_clear(forms::main::window, list);
    EXPECT_EQ(ListView_GetItemCount(view), 0);
    EXPECT_EQ(layer_->list_row_count(forms::main::window, list), 0);
}

TEST_F(Win32WindowLayerTest, ListOperationsFromAnotherThreadRunWholeOnTheWindowThread) {
    layer_->load_window(forms::main::window);
    std::string_view list = forms::main::list;
    std::thread worker([&] {
        EXPECT_FALSE(layer_->on_window_thread());
        for (int i = 0; i < 20; ++i) layer_->list_append_rows(forms::main::window, list, {{std::to_string(i), "x"}});
    });
    // The window thread keeps handling messages meanwhile, as its message loop would.
    while (layer_->list_row_count(forms::main::window, list) < 20) layer_->wait_processing_events(5);
    worker.join();
    EXPECT_EQ(layer_->list_cell(forms::main::window, list, 19, 0), "19");
    bool ran = false;
    layer_->post([&] { ran = true; });
    layer_->process_events();
    EXPECT_TRUE(ran);
}

TEST_F(Win32WindowLayerTest, HidingAGroupBoxHidesWhatLiesInsideIt) {
    layer_->load_window(forms::main::window);
    EXPECT_TRUE(layer_->is_visible(forms::main::window, forms::main::remark));
    layer_->set_visible(forms::main::window, forms::main::remark_group, false);
    EXPECT_FALSE(layer_->is_visible(forms::main::window, forms::main::remark_group));
    EXPECT_FALSE(layer_->is_visible(forms::main::window, forms::main::remark));
    layer_->set_visible(forms::main::window, forms::main::remark_group, true);
    EXPECT_TRUE(layer_->is_visible(forms::main::window, forms::main::remark));
}

TEST_F(Win32WindowLayerTest, TypingKeepsToTheBoxesLimitAndDigitsOnlyMode) {
    layer_->load_window(forms::generator::window);
    layer_->set_text(forms::generator::window, forms::generator::length, "");
    user_->type_text(forms::generator::window, forms::generator::length, "1a2-b3");
    EXPECT_EQ(layer_->text(forms::generator::window, forms::generator::length), "12-3");
    layer_->load_window(forms::setup::window);
    user_->type_text(forms::setup::window, forms::setup::password, "Abcdefghijklmn16x");
    EXPECT_EQ(layer_->text(forms::setup::window, forms::setup::password), "Abcdefghijklmn16");
    layer_->set_enabled(forms::setup::window, forms::setup::password, false);
    user_->type_text(forms::setup::window, forms::setup::password, "more");
    EXPECT_EQ(layer_->text(forms::setup::window, forms::setup::password), "Abcdefghijklmn16");
}

TEST_F(Win32WindowLayerTest, ClicksReachOnlyEnabledControlsAndCheckBoxesToggle) {
    layer_->load_window(forms::generator::window);
    int clicks = 0;
    layer_->bind(forms::generator::window, forms::generator::export_result, Event::kClicked,
                 [&](int, int) { ++clicks; });
    user_->click(forms::generator::window, forms::generator::export_result);
    layer_->set_enabled(forms::generator::window, forms::generator::export_result, false);
    user_->click(forms::generator::window, forms::generator::export_result);
    EXPECT_EQ(clicks, 1);
    const bool before = layer_->is_checked(forms::generator::window, forms::generator::symbols);
    user_->click(forms::generator::window, forms::generator::symbols);
    EXPECT_NE(layer_->is_checked(forms::generator::window, forms::generator::symbols), before);
}

TEST_F(Win32WindowLayerTest, MenuItemsUnderADisabledItemCannotBeChosen) {
    layer_->load_window(forms::main::window);
    std::vector<std::string> chosen;
    for (const char* item : {"新增", "复制账号"}) {
        layer_->bind(forms::main::window, item, Event::kChosen, [&chosen, item](int, int) { chosen.push_back(item); });
    }
    user_->choose_menu_item(forms::main::window, forms::main::menu::add);
    layer_->set_menu_item_enabled(forms::main::window, forms::main::menu::copy, false);
    user_->choose_menu_item(forms::main::window, forms::main::menu::copy_account);
    EXPECT_EQ(chosen, std::vector<std::string>{"新增"});
    EXPECT_FALSE(layer_->is_menu_item_enabled(forms::main::window, forms::main::menu::copy));
    layer_->popup_menu(forms::main::window, forms::main::menu::root, Point{10, 10});  // scripted: recorded, not shown
    EXPECT_TRUE(dialogs_.last_popup_item_enabled(forms::main::menu::add));
    EXPECT_FALSE(dialogs_.last_popup_item_enabled(forms::main::menu::copy_account));
}

TEST_F(Win32WindowLayerTest, TimersTickAndClosingTheLastWindowEndsTheLoop) {
    layer_->load_window(forms::main::window);
    int ticks = 0;
    layer_->bind(forms::main::window, forms::main::idle_timer, Event::kTick, [&](int, int) {
        if (++ticks == 2) layer_->destroy_window(forms::main::window);
    });
    layer_->set_timer_interval(forms::main::window, forms::main::idle_timer, 10);
    EXPECT_EQ(layer_->run(), 0);
    EXPECT_EQ(ticks, 2);
    EXPECT_FALSE(layer_->is_open(forms::main::window));
}

TEST_F(Win32WindowLayerTest, TextBeyondGbkIsTypedThroughUtf8AndReportedAsNotFitting) {
    layer_->load_window(forms::login::window);
    layer_->set_text(forms::login::window, forms::login::password, "");
    user_->type_utf8(forms::login::window, forms::login::password, "ab\xF0\x9F\x98\x80");  // an emoji: two UTF-16 units
    EXPECT_EQ(layer_->text(forms::login::window, forms::login::password), "ab?");
    EXPECT_FALSE(layer_->text_fits_gbk(forms::login::window, forms::login::password));
    layer_->set_text(forms::login::window, forms::login::password, "ab");
    EXPECT_TRUE(layer_->text_fits_gbk(forms::login::window, forms::login::password));
    EXPECT_TRUE(layer_->text_fits_gbk(forms::login::window, "no such control"));
}

TEST_F(Win32WindowLayerTest, CloseBoxDestroysTheWindowThroughTheLayer) {
    static int destroyed = 0;
    layer_->bind(forms::generator::window, "", Event::kDestroyed, [](int, int) { ++destroyed; });
    layer_->load_window(forms::generator::window);
    const int before = destroyed;
    user_->press_close_box(forms::generator::window);
    EXPECT_FALSE(layer_->is_open(forms::generator::window));
    EXPECT_EQ(destroyed, before + 1);
}

TEST_F(Win32WindowLayerTest, ClosingDialogsAnswersAShownQuestionWithNo) {
    ui::set_dialog_script(nullptr);
    // Runs inside the message box's own loop, once the box is up.
    layer_->post([] { layer_->close_dialogs(); });
    EXPECT_FALSE(layer_->question_box("?"));
    ui::set_dialog_script(&dialogs_);
}

}  // namespace
}  // namespace quillet::ui
