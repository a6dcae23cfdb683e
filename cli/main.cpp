// orvik-cli: the headless analysis command (placeholder until it lands).
#include <cstdio>

int main() {
    std::fputs("orvik-cli: not built yet\n", stderr);
    return 2;
}
