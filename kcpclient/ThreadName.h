#pragma once

// Names the calling thread (at most 15 characters are kept on Linux), so that
// top, gdb and the sanitizers' reports tell the program's threads apart.
void setCurrentThreadName(const char* name);
