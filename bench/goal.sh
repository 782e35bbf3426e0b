# Sourced by the bench scripts: goal TEXT CONDITION prints whether the
# condition (an awk expression over the figures) holds, and counts the
# misses in goals_failed.
goals_failed=0
goal() {
  if awk "BEGIN { exit !($2) }"; then
    printf '  holds   %s\n' "$1"
  else
    printf '  MISSED  %s\n' "$1"
    goals_failed=$((goals_failed + 1))
  fi
}
