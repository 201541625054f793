// Stands for a program planted where a recipe copies the cleaner to: were it ever started, it
// would leave a marker and report success, as a clean that found nothing does.
#include <cstdio>

int main() {
  if (std::FILE* marker = std::fopen("C:\\planted-program-ran", "w")) {
    std::fclose(marker);
  }
  return 0;
}
