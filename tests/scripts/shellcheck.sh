#!/usr/bin/env bash
# Every shell script of the repository is clean under ShellCheck's warnings: the scripts, their
# shared functions, the tests', the launcher, the tools' and CI's. Which files are shell is
# read from their first line (or a .sh name), so that a new script cannot be left out.
set -euo pipefail
cd "$NV_ROOT"
command -v shellcheck >/dev/null || { echo "FAIL: shellcheck is not installed (scripts/install-deps installs it)"; exit 1; }
if [[ -d .git ]] && command -v git >/dev/null; then
  mapfile -t files < <(git ls-files)
else
  mapfile -t files < <(find . -path ./.git -prune -o -path './build*' -prune -o -path ./dist -prune -o -type f -print)
fi
shell=()
for f in "${files[@]}"; do
  [[ -f "$f" ]] || continue
  if [[ "$f" == *.sh ]] || head -n 1 "$f" | grep -qE '^#!.*\b(ba)?sh\b'; then shell+=("$f"); fi
done
(( ${#shell[@]} >= 40 )) || { echo "FAIL: only ${#shell[@]} shell scripts found: ${shell[*]}"; exit 1; }
shellcheck -S warning -f gcc "${shell[@]}" || { echo "FAIL: ShellCheck's warnings above"; exit 1; }
echo "ok: ${#shell[@]} shell scripts, no ShellCheck warning"
