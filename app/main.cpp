#include "converter.h"

int main(int argc, char** argv) { return run_converter(argc, argv); }
