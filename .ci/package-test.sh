#!/usr/bin/env bash
# The package as a user gets it: the .deb made from the build, installed into this machine
# with dpkg, every program's --version and a listing run from the installed files, the
# manual pages found by man, the Python module imported, the library compiled against
# through pkg-config and CMake,
# then the package removed again.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
work=$(mktemp -d)
trap 'rm -rf "$work"; dpkg -r marquill >/dev/null 2>&1 || true' EXIT

(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/marquill_*_amd64.deb | head -1)
dpkg -i "$deb" >/dev/null

for program in Marquill ToolMqlInputX ToolMqlInputH ToolRecast; do
  [ "$(command -v "$program")" = "/usr/bin/$program" ] || { echo "$program is not installed in /usr/bin"; exit 1; }
  "$program" --version
done

examples=/usr/share/doc/marquill/examples
ToolMqlInputH /y "$examples/bakery.html" "$work/bakery.tsv" >/dev/null
"$build/bin/ToolMqlInputH" /y "$examples/bakery.html" "$work/expected.tsv" >/dev/null
cmp "$work/bakery.tsv" "$work/expected.tsv"
(cd "$work" && cp "$examples"/* . && Marquill ./demo.ini && test -s demo-out.txt)

if ls "$build"/python/marquill*.so >/dev/null 2>&1; then
  (cd "$work" && /usr/bin/python3 -c 'import marquill; print("python module", marquill.version(), marquill.__file__)')
fi

for page in Marquill ToolMqlInputH ToolRecast marquill.ini marquill-template marquill-listing; do
  man -w "$page" >/dev/null
done

cat >"$work/use.cpp" <<'CPP'
#include <cstdio>
#include "marquill/marquill.h"
int main() {
  const marquill::Records r = marquill::read("<P>ok</P>");
  std::printf("%s %zu %s\n", marquill::version(), r.records.size(), r.records.empty() ? "" : r.records[0].value.c_str());
  return r.ok() ? 0 : 1;
}
CPP
g++ -std=c++20 "$work/use.cpp" -o "$work/use-pc" $(pkg-config --cflags --libs --static marquill)
"$work/use-pc"
mkdir -p "$work/cmake-user"
cp "$work/use.cpp" "$work/cmake-user/"
cat >"$work/cmake-user/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.25)
project(use LANGUAGES CXX)
set(CMAKE_CXX_STANDARD 20)
find_package(marquill 1.0 REQUIRED)
add_executable(use use.cpp)
target_link_libraries(use PRIVATE marquill::marquill)
CMAKE
cmake -S "$work/cmake-user" -B "$work/cmake-user/build" >/dev/null
cmake --build "$work/cmake-user/build" >/dev/null
"$work/cmake-user/build/use"

dpkg -r marquill >/dev/null
[ ! -e /usr/bin/Marquill ] || { echo "Marquill left behind after removal"; exit 1; }
echo "package: installed, used and removed"
