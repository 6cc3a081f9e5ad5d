#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "app/engine_hooks.h"
#include "app/startup.h"
#include "app_gui_fixture.h"
#include "db/database.h"

namespace quillet::app {
namespace {

class EngineHooksGuiTest : public AppGuiTest {
  protected:
    static void SetUpTestSuite() {
        set_up_windows([](AppState& state) { connect_engine_hooks(state.windows); });
    }

    void SetUp() override {
        AppGuiTest::SetUp();
        ASSERT_TRUE(write_empty_store(path("data.edb")));
        ASSERT_TRUE(db::open_database(path("data.edb")));
        ASSERT_TRUE(db::set_access_password("locked"));
        db::close_database(path("data.edb"));
    }

    static db::OpenOptions asking() {
        db::OpenOptions options;
        options.password = "?";
        return options;
    }
};

TEST_F(EngineHooksGuiTest, TheEnginesPromptIsTheWindowLayersPasswordPrompt) {
    dialogs().answer_password(true, "wrong");
    dialogs().answer_password(true, "locked");
    EXPECT_TRUE(db::open_database(path("data.edb"), asking()));
    db::close_database(path("data.edb"));
    EXPECT_EQ(shown_texts(ui::ShownDialog::Kind::kPassword).size(), 2u);

    EXPECT_FALSE(db::open_database(path("data.edb"), asking()));  // cancelled
}

TEST_F(EngineHooksGuiTest, APromptFromAWorkerThreadIsShownOnTheWindowThread) {
    dialogs().answer_password(true, "locked");
    std::atomic<bool> done = false;
    bool opened = false;
    std::thread worker([&] {
        opened = db::open_database(path("data.edb"), asking());
        db::close_database(path("data.edb"));
        done = true;
    });
    while (!done) windows().process_events();
    worker.join();
    EXPECT_TRUE(opened);
    EXPECT_EQ(shown_texts(ui::ShownDialog::Kind::kPassword).size(), 1u);
}

}  // namespace
}  // namespace quillet::app
