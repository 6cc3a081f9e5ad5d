// A WindowLayer that hands every call to another one. Tests derive from it to watch or
// replace single operations (the waits of a typing sequence, for one) of the real layer.
#pragma once

#include "ui/window_layer.h"

namespace quillet::app {

class ForwardingWindowLayer : public ui::WindowLayer {
  public:
    explicit ForwardingWindowLayer(ui::WindowLayer& inner) : inner_(inner) {}

    void bind(std::string_view w, std::string_view c, ui::Event e, ui::Handler h) override { inner_.bind(w, c, e, h); }
    void raise(std::string_view w, std::string_view c, ui::Event e, int a, int b) override {
        inner_.raise(w, c, e, a, b);
    }
    void load_window(std::string_view w) override { inner_.load_window(w); }
    void destroy_window(std::string_view w) override { inner_.destroy_window(w); }
    bool is_open(std::string_view w) const override { return inner_.is_open(w); }
    std::string text(std::string_view w, std::string_view c) const override { return inner_.text(w, c); }
    bool text_fits_gbk(std::string_view w, std::string_view c) const override { return inner_.text_fits_gbk(w, c); }
    void set_text(std::string_view w, std::string_view c, std::string_view t) override { inner_.set_text(w, c, t); }
    void set_enabled(std::string_view w, std::string_view c, bool on) override { inner_.set_enabled(w, c, on); }
    bool is_enabled(std::string_view w, std::string_view c) const override { return inner_.is_enabled(w, c); }
    void set_visible(std::string_view w, std::string_view c, bool on) override { inner_.set_visible(w, c, on); }
    bool is_visible(std::string_view w, std::string_view c) const override { return inner_.is_visible(w, c); }
    bool is_checked(std::string_view w, std::string_view c) const override { return inner_.is_checked(w, c); }
    void set_checked(std::string_view w, std::string_view c, bool on) override { inner_.set_checked(w, c, on); }
    void set_timer_interval(std::string_view w, std::string_view c, int ms) override {
        inner_.set_timer_interval(w, c, ms);
    }
    void list_clear(std::string_view w, std::string_view c) override { inner_.list_clear(w, c); }
    int list_append_row(std::string_view w, std::string_view c) override { return inner_.list_append_row(w, c); }
    void list_append_rows(std::string_view w, std::string_view c,
                          const std::vector<std::vector<std::string>>& rows) override {
        inner_.list_append_rows(w, c, rows);
    }
    void list_set_cell(std::string_view w, std::string_view c, int row, int col, std::string_view t) override {
        inner_.list_set_cell(w, c, row, col, t);
    }
    std::string list_cell(std::string_view w, std::string_view c, int row, int col) const override {
        return inner_.list_cell(w, c, row, col);
    }
    void list_set_cell_data(std::string_view w, std::string_view c, int row, int col, std::string_view d) override {
        inner_.list_set_cell_data(w, c, row, col, d);
    }
    std::string list_cell_data(std::string_view w, std::string_view c, int row, int col) const override {
        return inner_.list_cell_data(w, c, row, col);
    }
    int list_row_count(std::string_view w, std::string_view c) const override { return inner_.list_row_count(w, c); }
    int list_selected_row(std::string_view w, std::string_view c) const override {
        return inner_.list_selected_row(w, c);
    }
    void list_select_row(std::string_view w, std::string_view c, int row) override {
        inner_.list_select_row(w, c, row);
    }
    void set_menu_item_enabled(std::string_view w, std::string_view item, bool on) override {
        inner_.set_menu_item_enabled(w, item, on);
    }
    bool is_menu_item_enabled(std::string_view w, std::string_view item) const override {
        return inner_.is_menu_item_enabled(w, item);
    }
    void close_dialogs() override { inner_.close_dialogs(); }
    void popup_menu(std::string_view w, std::string_view menu, ui::Point at) override {
        inner_.popup_menu(w, menu, at);
    }
    void message_box(std::string_view t) override { inner_.message_box(t); }
    bool question_box(std::string_view t) override { return inner_.question_box(t); }
    bool input_box(std::string_view caption, std::string_view prompt, std::string_view initial,
                   std::string* entered) override {
        return inner_.input_box(caption, prompt, initial, entered);
    }
    bool password_prompt(int tries_left, std::string* password) override {
        return inner_.password_prompt(tries_left, password);
    }
    void balloon_tip(std::string_view w, std::string_view c, std::string_view t, ui::Point at) override {
        inner_.balloon_tip(w, c, t, at);
    }
    ui::Point cursor_position() const override { return inner_.cursor_position(); }
    void post(std::function<void()> task) override { inner_.post(std::move(task)); }
    void run_on_window_thread(std::function<void()> task) override { inner_.run_on_window_thread(std::move(task)); }
    bool on_window_thread() const override { return inner_.on_window_thread(); }
    void wait_processing_events(int ms) override { inner_.wait_processing_events(ms); }
    void process_events() override { inner_.process_events(); }
    int run() override { return inner_.run(); }

  private:
    ui::WindowLayer& inner_;
};

}  // namespace quillet::app
