// Starting the window without a display: one line that says what to do, and exit status 1,
// instead of the toolkit's abort.
#pragma once

namespace bw {

// Call before the QApplication exists. Exits the program (status 1) when no display is
// named at all; otherwise makes a display that cannot be reached end it the same way while
// the application is created. Call DisplayOpened() once it exists.
void ExitUnlessDisplayCanOpen();
void DisplayOpened();

} // namespace bw
