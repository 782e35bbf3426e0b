#include "app/program.h"

int main(int argc, char** argv) { zw::start_program(argc, argv); }
