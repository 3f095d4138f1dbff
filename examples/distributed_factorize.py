"""A batch of factorization jobs on Dask distributed, checked against the in-process answers.

Vectors are pure functions of their seeds, so a job is just a few integers:
(dim, n, factors, entries, problem). Any worker, on any machine with velmora
installed, rebuilds the same codebooks and composite and returns the same
(index, similarity) list, bit for bit. Ship seeds, not vectors: PhaseHVec
objects cannot be pickled (the class has no pickle support and reports its module
as "builtins"), so the task below reaches the class through the velmora module,
which pickle sends by name and every worker imports itself. This script runs the batch on a cluster
(a LocalCluster by default, or the scheduler at --scheduler ADDRESS), recomputes
every job in this process, and exits non-zero if any answer differs.

    pip install 'velmora[distributed]'
    python examples/distributed_factorize.py --jobs 64
    python examples/distributed_factorize.py --scheduler tcp://10.0.0.5:8786 --jobs 1000
"""

import argparse
import sys
import time
from typing import NamedTuple

import velmora


class Job(NamedTuple):
    """Everything needed to rebuild one problem, anywhere."""

    dim: int
    n: int
    factors: int
    entries: int
    problem: int

    def seed(self, factor, entry):
        return (self.problem << 32) | (factor << 24) | entry

    def truth(self):
        return [(self.problem * 7919 + f * 104729) % self.entries for f in range(self.factors)]


def solve(job):
    """Rebuild the codebooks and composite of `job` from its seeds and factor it."""
    books = [[velmora.PhaseHVec.random(job.dim, job.n, job.seed(f, i)) for i in range(job.entries)] for f in range(job.factors)]
    truth = job.truth()
    composite = books[0][truth[0]]
    for f in range(1, job.factors):
        composite = composite.bind(books[f][truth[f]])
    return velmora.resonator_factorize(composite, books)


def batch(count, dim, n, factors, entries, first_problem=0):
    return [Job(dim, n, factors, entries, first_problem + p) for p in range(count)]


def run_on_cluster(jobs, client, timeout):
    from distributed import wait

    futures = client.map(solve, jobs, pure=True)
    wait(futures, timeout=timeout)  # raises TimeoutError rather than waiting forever
    return client.gather(futures)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--scheduler", metavar="ADDRESS", help="address of a running Dask scheduler; "
                        "default: start a LocalCluster on this machine")
    parser.add_argument("--workers", type=int, default=2, help="LocalCluster workers (default 2)")
    parser.add_argument("--threads", action="store_true", help="LocalCluster workers as threads of this "
                        "process instead of separate processes")
    parser.add_argument("--jobs", type=int, default=32)
    parser.add_argument("--timeout", type=float, default=600, help="seconds to wait for the batch")
    parser.add_argument("--dim", type=int, default=1024)
    parser.add_argument("--n", type=int, default=16)
    parser.add_argument("--factors", type=int, default=3)
    parser.add_argument("--entries", type=int, default=16)
    args = parser.parse_args(argv)

    try:
        from distributed import Client, LocalCluster
    except ImportError:
        sys.exit("this example needs Dask distributed: pip install 'velmora[distributed]'")

    jobs = batch(args.jobs, args.dim, args.n, args.factors, args.entries)
    start = time.perf_counter()
    if args.scheduler:
        with Client(args.scheduler) as client:
            remote = run_on_cluster(jobs, client, args.timeout)
    else:
        # Worker processes listen on the loopback interface only; threads use in-process transport.
        where = {} if args.threads else {"host": "127.0.0.1"}
        with LocalCluster(n_workers=args.workers, threads_per_worker=1, processes=not args.threads,
                          dashboard_address=None, **where) as cluster, Client(cluster) as client:
            remote = run_on_cluster(jobs, client, args.timeout)
    remote_seconds = time.perf_counter() - start
    local = [solve(job) for job in jobs]

    differing = [job for job, r, l in zip(jobs, remote, local) if r != l]
    solved = sum([i for i, _ in r] == job.truth() for job, r in zip(jobs, remote))
    print(f"{len(jobs)} jobs on the cluster in {remote_seconds:.1f} s: {solved} solved; "
          f"{len(jobs) - len(differing)}/{len(jobs)} answers identical to the in-process ones")
    if differing:
        for job in differing[:5]:
            print("differs:", job, file=sys.stderr)
        sys.exit(1)
    return remote


if __name__ == "__main__":
    main()
