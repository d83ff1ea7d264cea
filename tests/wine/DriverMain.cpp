// The Wine test driver: runs one group of cases (`wine_driver GROUP`), see Bench.h.
#include "Bench.h"

int main(int argc, char** argv) {
    return bench::Main(argc, argv);
}
