#!/usr/bin/env python3
"""Draws the benchmark figures of the guide as SVG from the benchmarks' own output.

    bench_plots.py FFT_BENCH_OUTPUT RESAMPLER_BENCH_OUTPUT OUT_DIR "machine and date"

fft_bench prints one row per order (ours and FFTW3f in the same run); resampler_bench prints
output frames per second for every converter in the same run. Nothing but the standard
library is needed.
"""
import html
import math
import re
import sys

WIDTH, HEIGHT = 760, 420
LEFT, RIGHT, TOP, BOTTOM = 80, 30, 60, 70


def svg_document(title, subtitle, body):
    return (f'<svg xmlns="http://www.w3.org/2000/svg" width="{WIDTH}" height="{HEIGHT}" '
            f'viewBox="0 0 {WIDTH} {HEIGHT}" font-family="sans-serif" font-size="12">\n'
            f'<rect width="{WIDTH}" height="{HEIGHT}" fill="white"/>\n'
            f'<text x="{WIDTH / 2}" y="24" text-anchor="middle" font-size="16">{html.escape(title)}</text>\n'
            f'<text x="{WIDTH / 2}" y="42" text-anchor="middle" fill="#555">{html.escape(subtitle)}</text>\n'
            + body + '</svg>\n')


def fft_rows(text):
    """(N, our MFLOPS, FFTW MFLOPS) per order row of the table."""
    rows = []
    for line in text.splitlines():
        fields = line.split()
        if len(fields) >= 7 and all(re.fullmatch(r'[0-9.]+', f) for f in fields[:7]):
            rows.append((int(fields[1]), float(fields[3]), float(fields[5])))
    return rows


def fft_figure(rows, machine):
    plot_w, plot_h = WIDTH - LEFT - RIGHT, HEIGHT - TOP - BOTTOM
    top_value = max(max(r[1], r[2]) for r in rows) * 1.1
    xs = [math.log2(r[0]) for r in rows]
    x_of = lambda v: LEFT + (v - xs[0]) / max(xs[-1] - xs[0], 1) * plot_w
    y_of = lambda v: TOP + plot_h - v / top_value * plot_h
    body = [f'<line x1="{LEFT}" y1="{TOP + plot_h}" x2="{LEFT + plot_w}" y2="{TOP + plot_h}" stroke="black"/>',
            f'<line x1="{LEFT}" y1="{TOP}" x2="{LEFT}" y2="{TOP + plot_h}" stroke="black"/>']
    step = 10 ** math.floor(math.log10(top_value / 4))
    step *= 5 if top_value / step > 20 else (2 if top_value / step > 8 else 1)
    value = 0.0
    while value <= top_value:
        y = y_of(value)
        body.append(f'<line x1="{LEFT}" y1="{y:.1f}" x2="{LEFT + plot_w}" y2="{y:.1f}" stroke="#ddd"/>')
        body.append(f'<text x="{LEFT - 6}" y="{y + 4:.1f}" text-anchor="end">{value:g}</text>')
        value += step
    for n, x in zip((r[0] for r in rows), xs):
        body.append(f'<text x="{x_of(x):.1f}" y="{TOP + plot_h + 16}" text-anchor="middle">2^{int(x)}</text>')
    body.append(f'<text x="{LEFT + plot_w / 2}" y="{HEIGHT - 20}" text-anchor="middle">transform length N</text>')
    body.append(f'<text x="18" y="{TOP + plot_h / 2}" text-anchor="middle" '
                f'transform="rotate(-90 18 {TOP + plot_h / 2})">MFLOPS (2.5 N log2 N per transform), higher is faster</text>')
    for index, (name, colour) in enumerate((("Sonvex2 (AVX version)", "#1f6fb4"), ("FFTW3f", "#d2691e"))):
        points = " ".join(f"{x_of(x):.1f},{y_of(r[1 + index]):.1f}" for x, r in zip(xs, rows))
        body.append(f'<polyline points="{points}" fill="none" stroke="{colour}" stroke-width="2.5"/>')
        for x, r in zip(xs, rows):
            body.append(f'<circle cx="{x_of(x):.1f}" cy="{y_of(r[1 + index]):.1f}" r="3" fill="{colour}"/>')
        body.append(f'<rect x="{LEFT + 20}" y="{TOP + 10 + 18 * index}" width="14" height="4" fill="{colour}"/>')
        body.append(f'<text x="{LEFT + 40}" y="{TOP + 16 + 18 * index}">{html.escape(name)}</text>')
    return svg_document("Real FFT, forward + inverse, against FFTW3f in the same run", machine, "\n".join(body) + "\n")


def resampler_rows(text, direction="44100 -> 48000"):
    """(label, M output frames/s) for one conversion direction."""
    rows, inside = [], False
    for line in text.splitlines():
        if line.strip() == direction:
            inside = True
            continue
        if inside and not line.strip():
            break
        match = re.match(r'\s+(.+?)\s+([0-9.]+) M output frames/s', line)
        if inside and match:
            rows.append((match.group(1), float(match.group(2))))
    return rows


def resampler_figure(rows, machine, direction):
    bar_h, gap = 18, 6
    height = TOP + len(rows) * (bar_h + gap) + 50
    label_w, plot_w = 300, WIDTH - 300 - 90
    top_value = max(v for _, v in rows)
    body = []
    for i, (label, value) in enumerate(rows):
        y = TOP + i * (bar_h + gap)
        ours = label.startswith("ours")
        width = value / top_value * plot_w
        body.append(f'<text x="{label_w - 8}" y="{y + 13}" text-anchor="end">{html.escape(label)}</text>')
        body.append(f'<rect x="{label_w}" y="{y}" width="{width:.1f}" height="{bar_h}" '
                    f'fill="{"#1f6fb4" if ours else "#bbb"}"/>')
        body.append(f'<text x="{label_w + width + 6:.1f}" y="{y + 13}">{value:.1f}</text>')
    body.append(f'<text x="{label_w + plot_w / 2}" y="{height - 16}" text-anchor="middle">'
                f'million output frames per second, stereo, higher is faster</text>')
    svg = svg_document(f"Resampling {direction} Hz against speexdsp, libsamplerate and soxr", machine,
                       "\n".join(body) + "\n")
    return svg.replace(f'height="{HEIGHT}" viewBox="0 0 {WIDTH} {HEIGHT}"', f'height="{height}" viewBox="0 0 {WIDTH} {height}"') \
              .replace(f'<rect width="{WIDTH}" height="{HEIGHT}"', f'<rect width="{WIDTH}" height="{height}"')


def main():
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    fft_text = open(sys.argv[1]).read()
    resampler_text = open(sys.argv[2]).read()
    out, machine = sys.argv[3], sys.argv[4]
    rows = fft_rows(fft_text)
    if not rows:
        sys.exit("bench_plots: no order rows in " + sys.argv[1])
    open(f"{out}/fft-vs-fftw.svg", "w").write(fft_figure(rows, machine))
    for direction, name in (("44100 -> 48000", "resampler-44k1-to-48k.svg"), ("48000 -> 44100", "resampler-48k-to-44k1.svg")):
        r = resampler_rows(resampler_text, direction)
        if not r:
            sys.exit(f"bench_plots: no {direction} rows in " + sys.argv[2])
        open(f"{out}/{name}", "w").write(resampler_figure(r, machine, direction))


if __name__ == "__main__":
    main()
