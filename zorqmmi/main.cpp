#include "zorqprogram.h"

int main(int argc, char** argv) { return RunZorqMMI(argc, argv); }
