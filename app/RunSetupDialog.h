// Creates the setup dialog and runs the main thread's message loop until the
// quit message.
#pragma once

namespace App {

// Returns the exit code: the quit message's code, or 0 when the dialog
// window cannot be created.
int RunSetupDialog(int showCommand);

}  // namespace App
