#pragma once
// The account running the program, named on what a user changes (a
// relabelled session). Until the program has accounts of its own this is the
// operating system's login.
#include <QString>

// USER, USERNAME or LOGNAME, the first one set; "unknown" when none is.
QString LoginName();
