#include "app/record_window.h"

#include <string>
#include <string_view>

#include "app/database_check.h"
#include "app/list_load.h"
#include "app/record_list.h"
#include "app/record_store.h"
#include "app/text_cipher.h"
#include "app/unstorable_text.h"
#include "ui/forms.h"

namespace quillet::app {
namespace {

namespace forms = quillet::ui::forms;

void fill_for_modify(AppState& state) {
    if (state.edit_mode != 1) return;
    ui::WindowLayer& windows = state.windows;
    const int row = state.remembered_row;
    auto cell = [&](RecordColumn column) {
        return windows.list_cell(forms::main::window, forms::main::list, row, column);
    };
    state.remembered_id = parse_id(cell(kIdColumn));
    windows.set_text(forms::record::window, forms::record::platform, cell(kPlatformColumn));
    windows.set_text(forms::record::window, forms::record::account, cell(kAccountColumn));
    // The stored cipher text, not the shown cell: after "显示真实密码" the cell is clear text.
    windows.set_text(forms::record::window, forms::record::password,
                     decipher(row_password_cipher(windows, row), kCipherKey));
    windows.set_text(forms::record::window, forms::record::address, cell(kAddressColumn));
    windows.set_text(forms::record::window, forms::record::remark, cell(kRemarkColumn));
}

RecordText read_boxes(const ui::WindowLayer& windows) {
    return {windows.text(forms::record::window, forms::record::platform),
            windows.text(forms::record::window, forms::record::account),
            windows.text(forms::record::window, forms::record::password),
            windows.text(forms::record::window, forms::record::address),
            windows.text(forms::record::window, forms::record::remark)};
}

void tell_limit(ui::WindowLayer& windows, const RecordText& text) {
    if (auto limit = overlong_field(text)) {
        windows.message_box(limit->field + "太长：最多 " + std::to_string(limit->max_bytes) +
                            " 个字节（一个汉字占 2 个字节），未保存");
    }
}

void add(AppState& state, const RecordText& text) {
    ui::WindowLayer& windows = state.windows;
    switch (add_record(state.session_password.text(), text)) {
        case WriteResult::kDone:
            windows.message_box("数据添加成功，可继续添加数据或返回数据页");
            for (std::string_view box : {forms::record::platform, forms::record::account, forms::record::password,
                                         forms::record::address, forms::record::remark}) {
                windows.set_text(forms::record::window, box, "");
            }
            load_list(state);
            break;
        case WriteResult::kTooLong:
            tell_limit(windows, text);
            break;
        case WriteResult::kNoFreeId:
            windows.message_box("数据添加失败：记录ID已达上限2147483647，无法再分配新的ID");
            break;
        case WriteResult::kForeignStore:
            windows.message_box("数据添加失败：" + std::string(kForeignStoreText));
            break;
        case WriteResult::kFailed:
        case WriteResult::kNotFound:
            windows.message_box("数据添加失败");
            break;
    }
}

void modify(AppState& state, const RecordText& text) {
    ui::WindowLayer& windows = state.windows;
    switch (modify_record(state.session_password.text(), state.remembered_id, text)) {
        case WriteResult::kDone:
            windows.message_box("数据修改成功");
            load_list(state);
            windows.destroy_window(forms::record::window);
            break;
        case WriteResult::kTooLong:
            tell_limit(windows, text);
            break;
        case WriteResult::kForeignStore:
            windows.message_box("数据修改失败：" + std::string(kForeignStoreText));
            break;
        case WriteResult::kFailed:
        case WriteResult::kNoFreeId:  // only adds take a new ID
            windows.message_box("数据修改失败");
            break;
        case WriteResult::kNotFound:  // deleted meanwhile, or the store did not open: nothing to say
            break;
    }
}

}  // namespace

void bind_record_window(AppState& state) {
    AppState* s = &state;
    state.windows.bind(forms::record::window, "", ui::Event::kCreated, [s](int, int) { fill_for_modify(*s); });
    state.windows.bind(forms::record::window, forms::record::confirm, ui::Event::kClicked, [s](int, int) {
        if (refuse_unstorable_text(s->windows, forms::record::window,
                                   {{forms::record::platform, "平台"},
                                    {forms::record::account, "账号"},
                                    {forms::record::password, "密码"},
                                    {forms::record::address, "网址"},
                                    {forms::record::remark, "备注"}},
                                   "未保存")) {
            return;
        }
        const RecordText text = read_boxes(s->windows);
        if (s->edit_mode == 1) {
            modify(*s, text);
        } else {
            add(*s, text);
        }
    });
}

}  // namespace quillet::app
