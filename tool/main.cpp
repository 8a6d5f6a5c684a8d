// qarvex: searches volumes for entries whose names match a wildcard expression.
//   qarvex <expression> name1.vol [name2.vol] [*.vol]
#include "tool/SearchCommand.h"

#include <cstdio>

int main(int argc, char **argv) {
    if (argc <= 2) {
        search::printUsage(stdout);
        return 0;
    }
    return search::run(argv[1], argv + 2, argc - 2, stdout, stderr);
}
