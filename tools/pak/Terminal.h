#pragma once

// True when standard error is an interactive terminal (where a progress bar makes sense).
bool StderrIsTerminal();
