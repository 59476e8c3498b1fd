// "laden" / "Load" (command 32771): a parameter file into the drive.
#pragma once

namespace axtune {

class CAxtuneDlg;

// Asks for the file, then sends records 2..count-1 on a worker thread (with progress), re-reads the
// active page, marks the parameters as changed, waits for the drive and sends the end-of-load
// command, which goes out for every file that could be read, accepted or not.
void RunLoadParametersCommand(CAxtuneDlg& window);

}  // namespace axtune
