#!/usr/bin/env python3
"""The summary tables and the figures of one `./run bench`, from the benchmarks' own output.

    bench_plots.py RESULTS_DIR                  writes RESULTS_DIR/summary.md and RESULTS_DIR/*.svg
    bench_plots.py --guide RESULTS_DIR GUIDE    puts the summary into GUIDE between its markers

RESULTS_DIR holds <tree>-<program>.txt for the trees native, win32 and win64 (those that ran)
and machine.txt. Nothing but the standard library is needed.
"""
import html
import math
import os
import re
import sys

TREES = (("win32", "32-bit product"), ("win64", "64-bit Windows build"), ("native", "64-bit native build"))
CONVERSIONS = ("44100 -> 48000", "48000 -> 44100", "96000 -> 48000")
BEGIN, END = "<!-- bench summary: written by ./run bench --figures -->", "<!-- end of bench summary -->"
COLOURS = ("#1f6fb4", "#d2691e", "#2e8b57", "#8b008b", "#555555", "#b8860b")


def read(directory, name):
    path = os.path.join(directory, name)
    return open(path).read() if os.path.exists(path) else ""


def parse_fft(text):
    """Header lines ('processor', 'build', 'ours X', 'peer X') and the rows of the table by column."""
    info, columns, rows = {}, None, []
    for line in text.splitlines():
        fields = line.split()
        head = re.match(r'(processor|build|ours \S+|peer \S+): (.*)', line)
        if head:
            info[head.group(1)] = head.group(2)
        elif fields[:2] == ["order", "N"]:
            columns = fields
        elif columns and len(fields) == len(columns) and all(re.fullmatch(r'[0-9.]+', f) for f in fields):
            rows.append(dict(zip(columns, (float(f) for f in fields))))
    return info, rows


def parse_resampler(text):
    """{conversion: [(label, M output frames/s)]} and the header lines."""
    info, sections, current = {}, {}, None
    for line in text.splitlines():
        head = re.match(r'(processor|build|ours|peer \S+): (.*)', line)
        if head:
            info[head.group(1)] = head.group(2)
        elif line.strip() in CONVERSIONS:
            current = sections.setdefault(line.strip(), [])
        elif current is not None:
            match = re.match(r'\s+(.+?)\s+([0-9.]+) M output frames/s', line)
            if match:
                current.append((match.group(1), float(match.group(2))))
    return info, sections


def speed(rows, prefix):
    return next((value for label, value in rows if label.startswith(prefix)), None)


def parse_comserver(text):
    """(us per block through COM, us directly, ns per ForwardFFT through the vtable, ns in the kernel)."""
    def number(pattern):
        match = re.search(pattern, text)
        return float(match.group(1)) if match else None
    return (number(r'AddBlock \+ GetProcessedBlock through COM\s+([0-9.]+) us'),
            number(r'CResamplerCore directly\s+([0-9.]+) us'),
            number(r'IFourierTransform::ForwardFFT \(vtable\)\s+([0-9.]+) ns'),
            number(r'RealFftForward \(kernel\)\s+([0-9.]+) ns'))


class Run:
    def __init__(self, directory):
        self.machine = read(directory, "machine.txt").strip()
        self.fft, self.resampler, self.com = {}, {}, {}
        for tree, _ in TREES:
            text = read(directory, f"{tree}-fft_bench.txt")
            if text:
                self.fft[tree] = parse_fft(text)
            text = read(directory, f"{tree}-resampler_bench.txt")
            if text:
                self.resampler[tree] = parse_resampler(text)
            text = read(directory, f"{tree}-comserver_bench.txt")
            if text:
                self.com[tree] = parse_comserver(text)
        infos = [info for info, _ in self.fft.values()] + [info for info, _ in self.resampler.values()]
        self.processor = next((info["processor"] for info in infos if "processor" in info), "unknown processor")

    def fft_comparisons(self):
        """(title, tree, ours column, peer name) for every tree and FFTW build it ran; the strongest peer first."""
        out = []
        for tree, label in TREES:
            if tree not in self.fft:
                continue
            info, rows = self.fft[tree]
            ours = next((key[5:] for key in info if key.startswith("ours ")), None)
            peers = sorted((key[5:] for key in info if key.startswith("peer ")), key=lambda p: p != "fftw-avx512")
            for peer in peers:
                if rows and f"{ours}/{peer}" in rows[0]:
                    out.append((f"{label} vs {peer}", tree, ours, peer))
        return out


def ratio_cell(value, limit=1.0):
    return f"**{value:.2f}**" if value > limit else f"{value:.2f}"


def summary(run):
    lines = [f"Processor: {run.processor}.", ""]
    if run.machine:
        lines += [run.machine.replace("\n", "; ") + ".", ""]
    comparisons = run.fft_comparisons()
    if comparisons:
        orders = [int(r["order"]) for r in run.fft[comparisons[0][1]][1]]
        lines += ["Real FFT, forward + inverse in place: time of ours over time of FFTW (below 1 is faster; "
                  "above 1 in bold).", "",
                  "| N | " + " | ".join(f"2^{o}" for o in orders) + " |",
                  "|---|" + "---|" * len(orders)]
        for title, tree, ours, peer in comparisons:
            rows = {int(r["order"]): r for r in run.fft[tree][1]}
            cells = [ratio_cell(rows[o][f"{ours}/{peer}"]) if o in rows else "" for o in orders]
            lines.append(f"| {title} | " + " | ".join(cells) + " |")
        lines.append("")
        for tree, _ in TREES:
            if tree in run.fft:
                info = run.fft[tree][0]
                lines += [f"- {tree}: ours " + "; ".join(f"{k[5:]}: {v}" for k, v in info.items() if k.startswith("ours "))
                          + "; peers " + "; ".join(f"{k[5:]}: {v}" for k, v in info.items() if k.startswith("peer "))]
        lines.append("")
    if run.resampler:
        lines += ["Resampler, stereo, blocks of 4096 frames: million output frames per second, ours / soxr HQ of "
                  "the same build = ratio (below 1 is slower).", "",
                  "| | " + " | ".join(c.replace(" -> ", "→") for c in CONVERSIONS) + " |",
                  "|---|" + "---|" * len(CONVERSIONS)]
        for taps in ("65", "17", "129"):
            for tree, label in TREES:
                if tree not in run.resampler:
                    continue
                sections = run.resampler[tree][1]
                cells = []
                for conversion in CONVERSIONS:
                    rows = sections.get(conversion, [])
                    ours, soxr = speed(rows, f"ours n={taps} "), speed(rows, "soxr HQ")
                    cells.append(f"{ours:.1f} / {soxr:.1f} = {ours / soxr:.2f}" if ours and soxr else "")
                lines.append(f"| {label}, {taps} taps, ours / soxr HQ | " + " | ".join(cells) + " |")
        lines.append("")
        for tree, _ in TREES:
            if tree in run.resampler:
                info = run.resampler[tree][0]
                lines.append(f"- {tree}: ours: " + "; ".join(v for k, v in info.items() if k == "ours")
                             + "; " + "; ".join(f"{k[5:]}: {v}" for k, v in info.items() if k.startswith("peer ")))
        lines.append("")
    if run.com:
        lines += ["Through COM (`comserver_bench`): 4096-frame stereo blocks, 44100→48000, 65 taps; "
                  "ForwardFFT of 1024 points.", "",
                  "| | µs per block through COM | µs per block, core directly | ns per ForwardFFT (vtable) | "
                  "ns per RealFftForward |", "|---|---|---|---|---|"]
        for tree, label in TREES:
            if tree in run.com:
                lines.append(f"| {label} | " + " | ".join("" if v is None else f"{v:.1f}" for v in run.com[tree]) + " |")
        lines.append("")
    return "\n".join(lines)


# Figures.
WIDTH, HEIGHT = 760, 440
LEFT, RIGHT, TOP, BOTTOM = 80, 30, 64, 70


def svg_document(title, subtitle, body, height=HEIGHT):
    return (f'<svg xmlns="http://www.w3.org/2000/svg" width="{WIDTH}" height="{height}" '
            f'viewBox="0 0 {WIDTH} {height}" font-family="sans-serif" font-size="12">\n'
            f'<rect width="{WIDTH}" height="{height}" fill="white"/>\n'
            f'<text x="{WIDTH / 2}" y="24" text-anchor="middle" font-size="16">{html.escape(title)}</text>\n'
            f'<text x="{WIDTH / 2}" y="42" text-anchor="middle" fill="#555">{html.escape(subtitle)}</text>\n'
            + "\n".join(body) + '\n</svg>\n')


def line_figure(title, subtitle, y_label, series, reference=None):
    """series: [(name, [(order, value)])]; a dashed horizontal line at `reference`."""
    plot_w, plot_h = WIDTH - LEFT - RIGHT, HEIGHT - TOP - BOTTOM
    orders = sorted({o for _, points in series for o, _ in points})
    top_value = max(v for _, points in series for _, v in points) * 1.1
    if reference:
        top_value = max(top_value, reference * 1.2)
    x_of = lambda o: LEFT + (o - orders[0]) / max(orders[-1] - orders[0], 1) * plot_w
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
    if reference:
        y = y_of(reference)
        body.append(f'<line x1="{LEFT}" y1="{y:.1f}" x2="{LEFT + plot_w}" y2="{y:.1f}" stroke="black" '
                    f'stroke-dasharray="6 4"/>')
    for o in orders:
        body.append(f'<text x="{x_of(o):.1f}" y="{TOP + plot_h + 16}" text-anchor="middle">2^{o}</text>')
    body.append(f'<text x="{LEFT + plot_w / 2}" y="{HEIGHT - 24}" text-anchor="middle">transform length N</text>')
    body.append(f'<text x="18" y="{TOP + plot_h / 2}" text-anchor="middle" '
                f'transform="rotate(-90 18 {TOP + plot_h / 2})">{html.escape(y_label)}</text>')
    legend = [f'<rect x="{LEFT + 12}" y="{TOP + 2}" width="300" height="{18 * len(series) + 6}" fill="white" '
              f'fill-opacity="0.85"/>']
    for index, (name, points) in enumerate(series):
        colour = COLOURS[index % len(COLOURS)]
        dash = ' stroke-dasharray="5 3"' if index % 2 else ""
        body.append(f'<polyline points="{" ".join(f"{x_of(o):.1f},{y_of(v):.1f}" for o, v in points)}" '
                    f'fill="none" stroke="{colour}" stroke-width="2.5"{dash}/>')
        body += [f'<circle cx="{x_of(o):.1f}" cy="{y_of(v):.1f}" r="3" fill="{colour}"/>' for o, v in points]
        legend.append(f'<rect x="{LEFT + 20}" y="{TOP + 8 + 18 * index}" width="14" height="4" fill="{colour}"/>')
        legend.append(f'<text x="{LEFT + 40}" y="{TOP + 14 + 18 * index}">{html.escape(name)}</text>')
    return svg_document(title, subtitle, body + legend)


def bar_figure(title, subtitle, x_label, rows):
    """rows: [(label, value, highlighted)], horizontal bars."""
    bar_h, gap, label_w = 18, 6, 330
    height = TOP + len(rows) * (bar_h + gap) + 50
    plot_w = WIDTH - label_w - 70
    top_value = max(v for _, v, _ in rows)
    body = []
    for i, (label, value, highlighted) in enumerate(rows):
        y = TOP + i * (bar_h + gap)
        width = value / top_value * plot_w
        body.append(f'<text x="{label_w - 8}" y="{y + 13}" text-anchor="end">{html.escape(label)}</text>')
        body.append(f'<rect x="{label_w}" y="{y}" width="{width:.1f}" height="{bar_h}" '
                    f'fill="{"#1f6fb4" if highlighted else "#bbb"}"/>')
        body.append(f'<text x="{label_w + width + 6:.1f}" y="{y + 13}">{value:.1f}</text>')
    body.append(f'<text x="{label_w + plot_w / 2}" y="{height - 16}" text-anchor="middle">{html.escape(x_label)}</text>')
    return svg_document(title, subtitle, body, height)


def figures(run):
    """{file name: SVG text}."""
    out = {}
    comparisons = run.fft_comparisons()
    strongest = [c for c in comparisons if c[1] == "win32" or c[3] == "fftw-avx512"] or comparisons
    if strongest:
        series = []
        for title, tree, ours, peer in strongest:
            rows = run.fft[tree][1]
            label = dict(TREES)[tree]
            series.append((f"ours, {label}", [(int(r["order"]), r[f"{ours}_MFLOPS"]) for r in rows]))
            series.append((f"{peer}", [(int(r["order"]), r[f"{peer}_MFLOPS"]) for r in rows]))
        out["fft-vs-fftw.svg"] = line_figure("Real FFT, forward + inverse, against FFTW in the same process",
                                             run.processor, "MFLOPS (2.5 N log2 N per transform), higher is faster",
                                             series)
        ratios = [(title, [(int(r["order"]), r[f"{ours}/{peer}"]) for r in run.fft[tree][1]])
                  for title, tree, ours, peer in comparisons]
        out["fft-ratio.svg"] = line_figure("Real FFT: time of ours over time of FFTW, below 1 is faster",
                                           run.processor, "time ratio, ours / FFTW", ratios, reference=1.0)
    bars = []
    for conversion in CONVERSIONS:
        for tree, label in TREES:
            if tree not in run.resampler:
                continue
            rows = run.resampler[tree][1].get(conversion, [])
            ours, soxr = speed(rows, "ours n=65 "), speed(rows, "soxr HQ")
            if ours and soxr:
                short = conversion.replace(" -> ", "→")
                bars.append((f"{short}, {label}, ours 65 taps", ours, True))
                bars.append((f"{short}, {label}, soxr HQ", soxr, False))
    if bars:
        out["resampler-vs-soxr.svg"] = bar_figure("Resampling stereo audio against soxr HQ of the same build",
                                                  run.processor, "million output frames per second, higher is faster",
                                                  bars)
    if "native" in run.resampler:
        for conversion, name in (("44100 -> 48000", "resampler-44k1-to-48k.svg"),
                                 ("48000 -> 44100", "resampler-48k-to-44k1.svg")):
            rows = run.resampler["native"][1].get(conversion, [])
            if rows:
                out[name] = bar_figure(f"Resampling {conversion} Hz against speexdsp, libsamplerate and soxr",
                                       run.processor + ", native build",
                                       "million output frames per second, stereo, higher is faster",
                                       [(label, value, label.startswith("ours")) for label, value in rows])
    return out


def main():
    args = sys.argv[1:]
    if len(args) == 1:
        run = Run(args[0])
        if not run.fft and not run.resampler:
            sys.exit(f"bench_plots: no benchmark output in {args[0]}")
        text = summary(run)
        open(os.path.join(args[0], "summary.md"), "w").write(text)
        for name, svg in figures(run).items():
            open(os.path.join(args[0], name), "w").write(svg)
        print(text)
    elif len(args) == 3 and args[0] == "--guide":
        run = Run(args[1])
        guide = open(args[2]).read()
        if BEGIN not in guide or END not in guide:
            sys.exit(f"bench_plots: {args[2]} has no bench summary markers")
        head, rest = guide.split(BEGIN, 1)
        open(args[2], "w").write(head + BEGIN + "\n" + summary(run) + "\n" + END + rest.split(END, 1)[1])
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()
