#include <cstdio>

int main() {
  std::printf("pagora-decode %s\n", PAGORA_VERSION);
  return 0;
}
