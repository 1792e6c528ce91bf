#pragma once

// True once the console window has been closed (or the session is ending) while files move:
// from then on the console is going away, and the program makes no more calls to it.
bool consoleClosed();
