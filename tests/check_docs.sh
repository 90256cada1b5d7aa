#!/usr/bin/env bash
# The documentation as installed: README.md and docs/*.md. Every relative link and image must
# point to an existing file among them (README.md or under docs/: what is installed beside the
# README, so links work in share/doc too), every #anchor to a heading of its page, and the README
# must stay short enough to read in five minutes.
#   tests/check_docs.sh SOURCE_DIR
set -euo pipefail
export LC_ALL=C.UTF-8
root=$(cd "${1:-$(dirname "$0")/..}" && pwd)
readme_limit=10240
errors=0
links=0
fail() { echo "FAIL: $*"; errors=$((errors + 1)); }

size=$(wc -c <"$root/README.md")
[ "$size" -le "$readme_limit" ] || fail "README.md is $size bytes, more than $readme_limit"

# Text outside fenced code blocks; prose also without inline code spans.
unfenced() { awk '/^ *```/ { fenced = !fenced; next } !fenced' "$1"; }
prose() { unfenced "$1" | sed 's/`[^`]*`//g'; }

# The anchors of a page's headings as GitHub makes them: lower case, punctuation dropped,
# spaces as hyphens, a repeated heading numbered -1, -2...
anchors() {
  unfenced "$1" | sed -n 's/^#\{1,6\} \{1,\}//p' | tr -d '`' |
    sed -E 's/[[:space:]]+#+[[:space:]]*$//' | tr '[:upper:]' '[:lower:]' |
    sed -E 's/[^[:alnum:] _-]//g; s/ /-/g' |
    awk '{ n = seen[$0]++; print (n ? $0 "-" n : $0) }'
}

for page in "$root/README.md" "$root"/docs/*.md; do
  name=${page#"$root"/}
  dir=$(dirname "$page")
  # Inline links and images: ](target) or ](target "title").
  while IFS= read -r target; do
    links=$((links + 1))
    case "$target" in
      *://* | mailto:*) continue ;;  # not ours to check
      /*) fail "$name: $target is an absolute path"; continue ;;
    esac
    path=${target%%#*}
    anchor=""
    [[ "$target" == *"#"* ]] && anchor=${target#*#}
    file=$page
    if [ -n "$path" ]; then
      file=$(realpath -m "$dir/$path")
      case "$file" in
        "$root/README.md" | "$root"/docs/*) ;;
        *) fail "$name: $target leaves the installed documentation (README.md, docs/)"; continue ;;
      esac
      [ -e "$file" ] || { fail "$name: $target does not exist"; continue; }
    fi
    if [ -n "$anchor" ]; then
      [[ "$file" == *.md ]] || { fail "$name: $target has an anchor into a file that is not a page"; continue; }
      anchors "$file" | grep -qxF -- "$anchor" || fail "$name: $target names no heading of ${file#"$root"/}"
    fi
  done < <(prose "$page" | grep -oE '\]\([^) ]+( "[^"]*")?\)' | sed -E 's/^\]\(([^) ]+).*/\1/')
done

# A check that found nothing to check proves nothing.
[ "$links" -gt 0 ] || fail "no link found in README.md and docs/"
if [ "$errors" -gt 0 ]; then
  echo "$errors problems in the documentation"
  exit 1
fi
echo "documentation: $links links, README.md $size bytes: all good"
