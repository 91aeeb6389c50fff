#!/usr/bin/env bash
# Checks that the C++ lines changed since BASE follow the project's
# .clang-format: bash scripts/check-format.sh [BASE]. BASE defaults to the
# commit in .ci/format-base, the last one CI accepted before the check began;
# lines nobody has touched since keep their old layout.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh --tests
base="${1:-$(cat .ci/format-base)}"
if ! git cat-file -e "$base^{commit}" 2>/dev/null; then
  echo "check-format: $base is not in this clone; checking the last commit only"
  base=HEAD~1
fi
changes="$(git diff -U0 --no-color "$base" -- '*.cpp' '*.h' | clang-format-diff-14 -p1)"
if [ -n "$changes" ]; then
  printf '%s\n' "$changes"
  echo "check-format: the lines above do not follow .clang-format (clang-format-diff-14 -p1 -i fixes them)"
  exit 1
fi
echo "check-format: the lines changed since $base follow .clang-format"
