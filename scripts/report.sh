#!/usr/bin/env bash
# Draws a race log as a picture: the viewed car's lap times and its fuel at each lap line on one chart
# (two y axes), its stops and the program's fuel calls marked. Writes FILE.png beside FILE.csv.
# Usage: scripts/report.sh FILE.csv    (installs gnuplot-nox and the DejaVu fonts when missing)
set -euo pipefail
[ $# -eq 1 ] && [ -f "$1" ] || { echo "usage: scripts/report.sh FILE.csv (a race log of stintkeeper)" >&2; exit 2; }
csv="$1"
png="${csv%.csv}.png"
"$(dirname "$0")/deps.sh" gnuplot-nox fonts-dejavu-core

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The car reviewed: the one whose row last has a fuel level, as the end-of-race lines take it.
plid=$(awk -F, 'NR > 1 && $9 != "" { plid = $3 } END { print plid }' "$csv")
[ -n "$plid" ] || { echo "report: no row of $csv has a fuel level (a qualifying log, or no OutGauge): nothing to draw" >&2; exit 1; }

# lap, lap time in s, fuel in % ("?" where no level), stops; the calls and the stops apart.
awk -F, -v plid="$plid" -v data="$work/laps" -v calls="$work/calls" -v marks="$work/marks.gp" '
    NR == 1 || $3 != plid { next }
    {
        fuel = $9 == "" ? "?" : $9 * 100
        print $2, $5 / 1000, fuel >data
        if ($12 != "") print $2, fuel, $12 "%" >calls
        if ($7 > stops) printf "set arrow from %s, graph 0 to %s, graph 1 nohead dashtype 2 lw 2 lc rgb \"#b03030\"\nset label \"stop\" at %s, graph 0.03 offset 0.4, 0 textcolor rgb \"#b03030\"\n", $2 - 0.5, $2 - 0.5, $2 - 0.5 >marks
        stops = $7
        if ($9 != "") { lastLap = $2; lastFuel = fuel }
    }
    END {
        # Above the plot, at its right end: on the plot it would cover the last laps.
        if (lastLap != "") printf "set label \"%.1f %% at the flag (lap %s)\" at graph 1, graph 1 offset 0, 1 right textcolor rgb \"#208040\"\n", lastFuel, lastLap >marks
    }' "$csv"
touch "$work/calls" "$work/marks.gp"

# A label every 1, 2, 5, 10, 20, 50 ... laps: the first of these steps that leaves at most 15 labels.
laps=$(awk -F, -v plid="$plid" 'NR > 1 && $3 == plid && $2 > laps { laps = $2 } END { print laps + 0 }' "$csv")
step=1
for base in 1 10 100 1000 10000; do
    for times in 1 2 5; do
        step=$((base * times))
        [ $((laps / step)) -le 15 ] && break 2
    done
done
# Beyond a few hundred laps a point at every lap would hide the line: about 100 points in all.
every=$((laps > 300 ? laps / 100 : 1))

calls=""
if [ -s "$work/calls" ]; then
    calls=", '$work/calls' using 1:2 axes x1y2 with points pointtype 9 pointsize 2.2 lc rgb '#d08000' title 'fuel call (amount typed)', \
             '' using 1:2:3 axes x1y2 with labels boxed offset 0, 1.5 textcolor rgb '#d08000' notitle"
fi
gnuplot <<GNUPLOT
set terminal pngcairo size 1100,640 font "DejaVu Sans,12"
set output "$png"
set title "$(basename "$csv"): PLID $plid" font "DejaVu Sans,14" noenhanced
set datafile missing "?"
set style textbox opaque noborder
set xlabel "lap"
set ylabel "lap time (s)" textcolor rgb "#2060b0"
set y2label "fuel at the lap line (% of the tank)" textcolor rgb "#208040"
set ytics nomirror textcolor rgb "#2060b0"
set y2tics textcolor rgb "#208040"
set y2range [0:*]
set xrange [0:$laps + 1]
set xtics $step
set mxtics $([ "$step" -gt 1 ] && echo 5 || echo 1)
set grid xtics ytics lc rgb "#dddddd"
set key outside bottom center horizontal
load "$work/marks.gp"
plot "$work/laps" using 1:2 with linespoints pointinterval $every pointtype 7 lw 2 lc rgb "#2060b0" title "lap time", \
     "" using 1:3 axes x1y2 with linespoints pointinterval $every pointtype 5 lw 2 lc rgb "#208040" title "fuel at the line"$calls
GNUPLOT
echo "$png"
