#!/usr/bin/env bash
# Speed against sox and aubiopitch on the same generated 10-minute file (22050 Hz mono 16-bit,
# a gliding tone over noise): a headless run of the program (pitch log and snapshot), sox's
# spectrogram and aubiopitch, taking turns in each round (the first of a round moves along),
# timed by /usr/bin/time. Prints the medians of wall and CPU (user + system) time and the
# program's ratios to each tool; fails when the program's median wall time is longer than
# either tool's.
#   bench/compare_tools.sh [ROUNDS]   default 3; the program is $QUILLO_BUILD/program/quillo-sa
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/bench_lib.sh
install_optional time aubio-tools

rounds="${1:-3}"
case "$rounds" in '' | *[!0-9]* | 0) echo "usage: bench/compare_tools.sh [ROUNDS]" >&2; exit 2 ;; esac
build="${QUILLO_BUILD:-build}"
program="$build/program/quillo-sa"
[ -x "$program" ] || { echo "compare_tools: $program is missing; build it first (scripts/test.sh)" >&2; exit 2; }

work="$build/compare"
mkdir -p "$work"
private_program_folders "$work"
audio="$work/tone-10min.wav"
make_moving_tone 600 "$audio"

# The command line of each; what one writes to standard output goes to work/TOOL.out.
command_of() {
  case "$1" in
    quillo-sa) cmd=("$program" --headless --input "$audio" --pitch-log "$work/pitch.csv"
                    --snapshot "$work/snapshot.png") ;;
    sox) cmd=(sox "$audio" -n spectrogram -o "$work/spectrogram.png") ;;
    aubiopitch) cmd=(aubiopitch "$audio") ;;
  esac
}

tools=(quillo-sa sox aubiopitch)
declare -A walls cpus
for ((r = 0; r < rounds; r++)); do
  for ((i = 0; i < ${#tools[@]}; i++)); do
    tool="${tools[$(((r + i) % ${#tools[@]}))]}"
    command_of "$tool"
    /usr/bin/time -f "%e %U %S" -o "$work/time.txt" "${cmd[@]}" \
      > "$work/$tool.out" 2> "$work/$tool.err" || {
      cat "$work/$tool.err" >&2
      echo "compare_tools: $tool failed" >&2
      exit 1
    }
    read -r wall user sys < "$work/time.txt"
    walls[$tool]+="$wall "
    cpus[$tool]+="$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.2f", u + s }') "
  done
done

median() { tr ' ' '\n' | sed '/^$/d' | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "-" }'; }

echo
echo "10 min of 22050 Hz audio, $rounds rounds, medians (seconds); the machine has $(nproc) cores"
printf '%-11s %8s %8s %14s %14s  %s\n' tool wall CPU "wall / tool" "CPU / tool" "each round's wall"
q_wall="$(median <<< "${walls[quillo-sa]}")"
q_cpu="$(median <<< "${cpus[quillo-sa]}")"
missed=0
for tool in "${tools[@]}"; do
  w="$(median <<< "${walls[$tool]}")"
  c="$(median <<< "${cpus[$tool]}")"
  if [ "$tool" = quillo-sa ]; then
    printf '%-11s %8s %8s %14s %14s  %s\n' "$tool" "$w" "$c" "" "" "${walls[$tool]}"
  else
    printf '%-11s %8s %8s %14s %14s  %s\n' "$tool" "$w" "$c" "$(ratio "$q_wall" "$w")" \
      "$(ratio "$q_cpu" "$c")" "${walls[$tool]}"
    awk -v a="$q_wall" -v b="$w" 'BEGIN { exit !(a > b) }' && missed=1
  fi
done
echo "(wall / tool and CPU / tool: the program's time over the tool's; at most 1 is the target)"
[ "$missed" -eq 0 ] || { echo "compare_tools: the program is slower than a tool" >&2; exit 1; }
echo "compare_tools: the program is no slower than either tool"
