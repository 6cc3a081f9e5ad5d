// The program itself on a real X server: log in, open a second window, then ask the main
// window to close as a window manager's close box or Alt+F4 does (a WM_DELETE_WINDOW
// client message). The session must end with it: no window of the program is left and
// the process ends. Needs DISPLAY; takes turns with the other tests of the display.
#include "tests/app/x11_program_fixture.h"

namespace quillet::app {
namespace {

using CloseBoxTest = X11ProgramTest;

TEST_F(CloseBoxTest, ClosingTheMainWindowEndsTheSessionAndTheProgram) {
    start_program();
    const Window main = log_in();
    ASSERT_NE(main, None) << "login failed";
    // The FTP button, in the middle of its place on the form.
    ASSERT_TRUE(run({"xdotool", "mousemove", "--window", id(main), "220", "332", "click", "1"}));
    ASSERT_TRUE(until([&] { return program_windows().size() == 2; })) << "no FTP window";

    request_close(main);
    ASSERT_TRUE(until([&] { return has_ended(); })) << "the program went on after its main window closed";
    EXPECT_TRUE(WIFEXITED(status_) && WEXITSTATUS(status_) == 0);
    EXPECT_TRUE(program_windows().empty());
}

}  // namespace
}  // namespace quillet::app
