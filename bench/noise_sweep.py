#!/usr/bin/env python3
"""Seeded noise sweep over the virtual spirometer: does a damaged link ever
store a wrong value as a result?

Runs `tavctl test --fault noise:P --seed S --json` over both protocols, FVC,
VC and MVV, several patients and noise levels, and compares every test stored
as valid with the patient's true values (volumes within 5 %, flows within
10 %). Prints, per protocol, the runs, the share saved and every stored value
off the truth; exits 1 when there is one.

usage: noise_sweep.py TAVCTL [RUNS-PER-PROTOCOL] [JOBS]
"""
import concurrent.futures
import json
import os
import subprocess
import sys
import tempfile

NOISE = [0.002, 0.005, 0.01, 0.015, 0.02]
TYPES = ["fvc", "vc", "mvv"]
PROFILES = {"checksum": [1, 2, 3, 4, 5], "ascii": [11, 12, 13, 14, 15]}
VOLUME_SHARE, FLOW_SHARE = 0.05, 0.10


def off(value, truth, share):
    return truth > 0 and abs(value - truth) > share * truth


def judge(kind, out):
    """The values of a stored result that are off the truth."""
    record, truth = out["record"], out["truth"]
    wrong = []
    checks = {
        "fvc": [("FVC", "fvc", VOLUME_SHARE), ("FEV1", "fev1", VOLUME_SHARE),
                ("PEF", "pef", FLOW_SHARE)],
        "vc": [("VC", "vc", VOLUME_SHARE)],
        "mvv": [("MVV", "mvv", FLOW_SHARE)],
    }[kind]
    for field, key, share in checks:
        if off(record.get(field, 0), truth.get(key, 0), share):
            wrong.append(f"{field} {record.get(field, 0):.3f} against {truth[key]:.3f}")
    return wrong


def run(tavctl, home, patient, kind, profile, noise, seed):
    args = [tavctl, "test", "--patient", str(patient), "--type", kind, "--profile", str(profile),
            "--fault", f"noise:{noise}", "--seed", str(seed), "--timeout", "60"]
    env = dict(os.environ, TAV_HOME=home, QT_QPA_PLATFORM="offscreen")
    done = subprocess.run(args, env=env, capture_output=True, text=True, timeout=120)
    try:
        out = json.loads(done.stdout)
    except json.JSONDecodeError:
        return ("not-saved", [])
    if out.get("outcome") != "saved":
        return ("not-saved", [])
    return ("saved", judge(kind, out))


def main():
    tavctl = sys.argv[1]
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 500
    jobs = int(sys.argv[3]) if len(sys.argv) > 3 else 2
    failed = False
    for protocol, profiles in PROFILES.items():
        with tempfile.TemporaryDirectory() as home:
            env = dict(os.environ, TAV_HOME=home)
            made = subprocess.run([tavctl, "patient", "add", "--name", "Sweep", "--gender", "0",
                                   "--birth", "1980-01-01", "--height", "175", "--weight", "70"],
                                  env=env, capture_output=True, text=True, check=True)
            patient = int(made.stdout.split()[0])
            cases = [(TYPES[i % 3], profiles[(i // 3) % len(profiles)],
                      NOISE[(i // 15) % len(NOISE)], 1000 + i) for i in range(runs)]
            saved, wrong = 0, []
            with concurrent.futures.ThreadPoolExecutor(jobs) as pool:
                futures = {pool.submit(run, tavctl, home, patient, *c): c for c in cases}
                for future in concurrent.futures.as_completed(futures):
                    outcome, off_truth = future.result()
                    saved += outcome == "saved"
                    if off_truth:
                        wrong.append((futures[future], off_truth))
            print(f"{protocol}: {runs} runs, {saved} saved ({100.0 * saved / runs:.1f} %), "
                  f"{len(wrong)} stored off the truth")
            for (kind, profile, noise, seed), values in sorted(wrong):
                print(f"  {kind} profile {profile} noise {noise} seed {seed}: {'; '.join(values)}")
            failed = failed or bool(wrong)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
