// Linked into the portable module only (KALVOR_PORTABLE), beside the static
// libstdc++ and libgcc. Those archives were built against the newest glibc and
// call three functions that older systems lack. The module defines them itself,
// on top of calls every glibc since 2.25 has; the version script keeps them
// local, so nothing outside the module sees them.

#include <dlfcn.h>
#include <link.h>
#include <time.h>
#include <unistd.h>

#include <cstdint>

// <stdlib.h> stays out: it declares strtoul under the C23 name defined here.

// strtoul as it was before C23 (the C23 variant only adds "0b" prefixes), bound
// to its oldest symbol version: a plain call would be redirected to the new name.
extern "C" unsigned long kalvor_strtoul_c17(const char* text, char** end, int base) noexcept;
__asm__(".symver kalvor_strtoul_c17, strtoul@GLIBC_2.2.5");

extern "C" {

// glibc 2.38; libstdc++ reads GLIBCXX_TUNABLES with it.
unsigned long __isoc23_strtoul(const char* text, char** end, int base) noexcept { return kalvor_strtoul_c17(text, end, base); }

// glibc 2.36; libstdc++'s atomic waits draw spin jitter from it (std::random_device
// could too, which the module never uses). A kernel without getrandom (before 3.17)
// fails getentropy; a clock-seeded mix then serves, as jitter needs no secrecy.
std::uint32_t arc4random() noexcept {
  std::uint32_t value;
  if (getentropy(&value, sizeof value) == 0) return value;
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  static thread_local std::uint64_t state = 0;
  std::uint64_t z = (state += 0x9E3779B97F4A7C15u) ^ static_cast<std::uint64_t>(now.tv_nsec);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
  return static_cast<std::uint32_t>(z ^ (z >> 31));
}

// glibc 2.35; the static unwinder finds the exception tables of the object that
// holds a code address with it, and has no other path once it was built to use it.
// The same search over the loaded objects' program headers gives the same answer.
int _dl_find_object(void* address, dl_find_object* result) noexcept {
  struct Search {
    std::uintptr_t address;
    dl_find_object* result;
  } search{reinterpret_cast<std::uintptr_t>(address), result};
  auto visit = [](dl_phdr_info* info, std::size_t, void* data) noexcept -> int {
    auto& s = *static_cast<Search*>(data);
    std::uintptr_t low = UINTPTR_MAX, high = 0;
    bool inside = false;
    const void* eh_frame = nullptr;
    for (ElfW(Half) n = 0; n < info->dlpi_phnum; ++n) {
      const ElfW(Phdr)& segment = info->dlpi_phdr[n];
      const std::uintptr_t start = info->dlpi_addr + segment.p_vaddr;
      if (segment.p_type == PT_LOAD) {
        const std::uintptr_t end = start + segment.p_memsz;
        if (start < low) low = start;
        if (end > high) high = end;
        if (s.address >= start && s.address < end) inside = true;
      } else if (segment.p_type == PT_GNU_EH_FRAME) {
        eh_frame = reinterpret_cast<const void*>(start);
      }
    }
    if (!inside) return 0;
    *s.result = {};
    s.result->dlfo_map_start = reinterpret_cast<void*>(low);
    s.result->dlfo_map_end = reinterpret_cast<void*>(high);
    s.result->dlfo_eh_frame = const_cast<void*>(eh_frame);
    return 1;
  };
  return dl_iterate_phdr(visit, &search) == 1 ? 0 : -1;
}

}  // extern "C"
