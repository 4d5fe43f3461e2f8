// Program entry of Sitekeeper.
//
// Initialises the runtime (locale settings and the environment file beside the
// program), sets the application's globals and installs the file drivers, starts
// the window engine, and runs Main, the frame. The program ends through the normal
// halt path when the frame closes.
#include <cstdio>
#include <string>

#include "app/dictionary.h"
#include "app/main_frame.h"
#include "app/window_positions.h"
#include "platform/file.h"
#include "platform/system_error.h"
#include "runtime/error.h"
#include "runtime/halt.h"
#include "runtime/locale.h"
#include "ui/engine.h"
#include "ui/print_setup.h"

int main()
{
    sk::rt::init_runtime_locale(sk::platform::program_path());
    // The printer set-up's choice is kept with the window positions.
    sk::ui::keep_print_setup_in(sk::app::kPositionsFile);
    if (!sk::ui::initialise_engine()) {
        std::fprintf(stderr, "Sitekeeper: the display cannot be opened (system error %d).\n", sk::platform::last_system_error());
        return 1;
    }
    sk::app::start_program_globals();
    sk::app::Main();
    sk::rt::halt(0);
}
