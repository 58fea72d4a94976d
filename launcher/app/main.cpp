#include <cstdio>

#include "windows.h"

int main(int argc, char** argv) {
  std::puts("launcher: nothing to run yet");
  return 0;
}
