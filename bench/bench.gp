# The chart of make bench: channel change times of tvclient and of the
# baseline, and the client's resident memory over the channel changes.
# gnuplot -e "out='DIR'" bench.gp   (reads DIR/*.dat and DIR/memory.csv)
set terminal pngcairo size 1200,480 font "DejaVu Sans,10"
set output out."/bench.png"
set datafile separator whitespace
set multiplot layout 1,2
set title "Channel change: key to first picture (sorted)"
set xlabel "milliseconds"
set ylabel "share of changes at or below"
set yrange [0:1]
set key bottom right
set grid
plot out."/sorted-client.dat" using 2:1 with steps lw 2 lc rgb "#7b2fbf" title "tvclient: vout event", \
     out."/sorted-baseline.dat" using 2:1 with steps lw 2 lc rgb "#1a9e77" title "baseline: vout event", \
     out."/sorted-client-screen.dat" using 2:1 with steps lw 2 dt 2 lc rgb "#7b2fbf" title "tvclient: on the screen", \
     out."/sorted-baseline-screen.dat" using 2:1 with steps lw 2 dt 2 lc rgb "#1a9e77" title "baseline: on the screen"
set title "tvclient resident memory"
set xlabel "channel changes"
set ylabel "MiB"
set yrange [0:*]
set key off
set datafile separator ","
plot out."/memory.csv" using 1:($2/1024) every ::1 with linespoints lw 2 pt 7
unset multiplot
