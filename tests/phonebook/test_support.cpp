#include "../app/test_support.cpp"
