// A program built without stack guards but with the C library's checked calls, which bring the
// stack-guard runtime in all the same: the shipped-program check must still see it unguarded.
#include <cstdio>
#include <cstring>

int main(int count, char** arguments) {
  char copy[64];
  std::strcpy(copy, arguments[count - 1]);
  return std::puts(copy);
}
