// link_table: prints the link's one table (codes, frames, keys) as JSON, the same text as
// phone --table, for tests that hold a table of their own (the phone page's) to compare with.
#include <iostream>

#include "link/link_protocol.h"

int main() {
    std::cout << phonelink::linkTableJson() << '\n';
    return std::cout.good() ? 0 : 1;
}
