#include <unistd.h>

#include "Terminal.h"

bool StderrIsTerminal() {
    return isatty(STDERR_FILENO) != 0;
}
