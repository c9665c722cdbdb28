#!/usr/bin/env bash
# Fails when a C++ file of the repository differs from the style of
# .clang-format; lists the files and shows the first differences.
set -euo pipefail
cd "$(dirname "$0")/.."

mapfile -t files < <(git ls-files '*.cpp' '*.h')
status=0
for file in "${files[@]}"; do
  if ! clang-format --dry-run --Werror "$file" 2>/dev/null; then
    echo "not formatted: $file (clang-format -i $file)"
    clang-format "$file" | diff "$file" - | head -n 10 || true
    status=1
  fi
done
[ "$status" -eq 0 ] && echo "format: ${#files[@]} files as .clang-format has them"
exit "$status"
