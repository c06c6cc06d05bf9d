"""Success AUC over named groups of sequences, and the sequences where one row does worst.

    subsets.py real-tables.md groups.json [--worst ROW --reference ROW --count N]
                                          [--against ROW --resamples N --seed S]

reads the per-sequence table that zok_accuracy_real writes (real-tables.md) and a JSON object
that names groups of sequences ({"design": ["seq_a", "seq_b"], ...}), and prints, as Markdown,
each row's mean success AUC over each group (each sequence weighing the same, as in the overall
table; sequences a group names but the run lacks are left out and counted in the header). The
later starts of a sequence ("name@1", ... from zok_accuracy_real --starts) and its moved first
boxes ("name~1", "name@1~1", ... from --shifts) belong to its groups. With --worst, it then
lists the N sequences where ROW scores lowest, beside the --reference row. With --against, it
then prints each other row's mean difference from ROW over each group, with a 95 % interval
from resampling the group's sequences (a sequence's later starts and moved boxes are drawn with
it, as they share its footage): on a few dozen sequences a difference of a few hundredths can
be one sequence flipping between followed and lost, and the interval says how much of a
difference the sequences at hand can tell.
"""
import argparse
import json
import random
import sys


def read_per_sequence(path):
    """Returns (rows, {sequence: {row: auc}}) from the "Per sequence" table of real-tables.md."""
    text = open(path, encoding="utf-8").read()
    if "### Per sequence" not in text:
        raise ValueError(f"{path}: no per-sequence table")
    lines = [l for l in text.split("### Per sequence", 1)[1].splitlines() if l.startswith("|")]
    header = [c.strip() for c in lines[0].strip().strip("|").split("|")]
    rows = header[3:]
    table = {}
    for line in lines[2:]:
        cells = [c.strip() for c in line.strip().strip("|").split("|")]
        table[cells[0]] = {row: float(v) for row, v in zip(rows, cells[3:])}
    return rows, table


def started_sequence(name):
    """The sequence a run belongs to: "x" for "x@2" (a later start of x, --starts), "x~3" and
    "x@2~3" (moved first boxes, --shifts), else name."""
    for mark in "~@":
        head, at, tail = name.rpartition(mark)
        if at and tail.isdigit():
            name = head
    return name


def group_runs(table, members):
    """{sequence: [its runs]} for the members that ran: every start of a member is a run of it."""
    wanted = set(members)
    runs = {}
    for s in table:
        if started_sequence(s) in wanted:
            runs.setdefault(started_sequence(s), []).append(s)
    return runs


def group_means(rows, table, groups):
    """{group: (present, named, {row: mean})}; a group none of whose sequences ran is skipped.
    Every start of a member counts as a sequence of the group."""
    out = {}
    for name, members in groups.items():
        clusters = group_runs(table, members)
        if not clusters:
            continue
        runs = [s for r in clusters.values() for s in r]
        out[name] = (len(clusters), len(members),
                     {r: sum(table[s][r] for s in runs) / len(runs) for r in rows})
    return out


def differences(rows, table, groups, against, resamples=2000, seed=1):
    """{group: {row: (mean, low, high)}}: row minus `against` over the group's runs, each run
    weighing the same, with the 2.5th and 97.5th percentiles of that mean over `resamples`
    draws of the group's sequences with replacement (fixed `seed`, so a report is repeatable)."""
    out = {}
    for name, members in groups.items():
        clusters = group_runs(table, members)
        if not clusters:
            continue
        keys = sorted(clusters)
        rng = random.Random(seed)
        draws = [[rng.choice(keys) for _ in keys] for _ in range(resamples)]
        out[name] = {}
        for r in rows:
            if r == against:
                continue
            # Per sequence: the sum of its runs' differences and their count.
            sums = {k: (sum(table[s][r] - table[s][against] for s in clusters[k]),
                        len(clusters[k])) for k in keys}
            def mean(sample):
                return sum(sums[k][0] for k in sample) / sum(sums[k][1] for k in sample)
            spread = sorted(mean(d) for d in draws)
            low = spread[int(0.025 * (resamples - 1))]
            high = spread[int(0.975 * (resamples - 1))]
            out[name][r] = (mean(keys), low, high)
    return out


def markdown_differences(against, diffs):
    groups = list(diffs)
    lines = [f"| minus {against} | " + " | ".join(groups) + " |", "|---" * (len(groups) + 1) + "|"]
    rows = list(next(iter(diffs.values()))) if diffs else []
    for r in rows:
        cells = [f"{m:+.3f} ({lo:+.3f} to {hi:+.3f})"
                 for m, lo, hi in (diffs[g][r] for g in groups)]
        lines.append(f"| {r} | " + " | ".join(cells) + " |")
    return "\n".join(lines)


def markdown(rows, means):
    columns = [f"{g} ({p})" if p == n else f"{g} ({p} of {n})" for g, (p, n, _) in means.items()]
    lines = ["| tracker | " + " | ".join(columns) + " |", "|---" * (len(columns) + 1) + "|"]
    for r in rows:
        lines.append(f"| {r} | " + " | ".join(f"{m[r]:.3f}" for _, _, m in means.values()) + " |")
    return "\n".join(lines)


def main(argv):
    parser = argparse.ArgumentParser()
    parser.add_argument("tables")
    parser.add_argument("groups")
    parser.add_argument("--worst")
    parser.add_argument("--reference")
    parser.add_argument("--count", type=int, default=10)
    parser.add_argument("--against")
    parser.add_argument("--resamples", type=int, default=2000)
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args(argv)
    rows, table = read_per_sequence(args.tables)
    groups = json.load(open(args.groups, encoding="utf-8"))
    for r in (args.worst, args.reference, args.against):
        if r and r not in rows:
            parser.error(f"no row called {r!r}")
    if args.resamples < 1:
        parser.error("--resamples must be at least 1")
    print(markdown(rows, group_means(rows, table, groups)))
    if args.worst:
        worst = sorted(table, key=lambda s: table[s][args.worst])[: args.count]
        print()
        ref = f" | {args.reference}" if args.reference else ""
        print(f"| sequence | {args.worst}{ref} |")
        print("|---|---|" + ("---|" if args.reference else ""))
        for s in worst:
            extra = f" | {table[s][args.reference]:.3f}" if args.reference else ""
            print(f"| {s} | {table[s][args.worst]:.3f}{extra} |")
    if args.against:
        print()
        print(markdown_differences(args.against, differences(
            rows, table, groups, args.against, args.resamples, args.seed)))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
