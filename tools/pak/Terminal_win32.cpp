#include <io.h>

#include <cstdio>

#include "Terminal.h"

bool StderrIsTerminal() {
    return _isatty(_fileno(stderr)) != 0;
}
