#!/usr/bin/env python3
"""Every value under its own address: kvp-sim plays modules with faults on the line,
kvp-reader --console reads them, and each value printed is looked up in what the
simulator sent (its --log): under another module's address, never sent, or shown more
often than sent. Prints one line a run and the totals.

usage: scripts/wrong-address.py [--reader R] [--sim S] [--secs N] [--via raw|tcp|rfc2217]
                                [--seeds 1-3] CASE...
CASE: "SIMARGS | READERARGS"; the simulator plays the reader's --address unless given.
  scripts/wrong-address.py --seeds 1-3 "--pace --repeat 0.3 --usb-ms 16 | --address 3,7"
"""
import argparse, collections, os, select, shutil, signal, socket, subprocess, sys, tempfile, time

ap = argparse.ArgumentParser()
here = os.path.dirname(os.path.abspath(__file__))
ap.add_argument('--reader', default=os.path.join(here, '..', 'build', 'src', 'kvp-reader'))
ap.add_argument('--sim', default=os.path.join(here, '..', 'build', 'sim', 'kvp-sim'))
ap.add_argument('--secs', type=float, default=6)
ap.add_argument('--via', default='raw')
ap.add_argument('--seeds', default='1')
ap.add_argument('--verbose', '-v', action='store_true')
ap.add_argument('cases', nargs='+')
args = ap.parse_args()


def seeds(text):
    out = []
    for part in text.split(','):
        if '-' in part:
            a, b = part.split('-')
            out += list(range(int(a), int(b) + 1))
        else:
            out.append(int(part))
    return out


def free_port():
    s = socket.socket()
    s.bind(('127.0.0.1', 0))
    p = s.getsockname()[1]
    s.close()
    return p


def wait_listen(port, t=5):
    end = time.time() + t
    while time.time() < end:
        with open('/proc/net/tcp') as f:
            if any((':%04X' % port) in l.split()[1] and l.split()[3] == '0A' for l in f.readlines()[1:]):
                return True
        time.sleep(0.05)
    return False


def run(simargs, readerargs, seed):
    tmp = tempfile.mkdtemp(prefix='wrong-address')
    log = os.path.join(tmp, 'sent')
    trace = os.path.join(tmp, 'trace')
    sim = subprocess.Popen([args.sim] + simargs + ['--seed', str(seed), '--log', log, '--trace', trace],
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    dev = sim.stdout.readline().decode().strip()
    server = None
    port = dev
    if args.via == 'tcp':
        p = free_port()
        server = subprocess.Popen(['socat', 'TCP-LISTEN:%d,bind=127.0.0.1,reuseaddr' % p, 'FILE:%s,raw,echo=0' % dev],
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_listen(p)
        port = 'tcp://127.0.0.1:%d' % p
    elif args.via == 'rfc2217':
        p = free_port()
        cfg = os.path.join(tmp, 'ser2net.yaml')
        with open(cfg, 'w') as f:
            f.write('connection: &kvp\n    accepter: telnet(rfc2217),tcp,127.0.0.1,%d\n'
                    '    connector: serialdev,%s,9600n81,local\n' % (p, dev))
        server = subprocess.Popen(['ser2net', '-n', '-u', '-c', cfg], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_listen(p)
        port = 'rfc2217://127.0.0.1:%d' % p
    rd = subprocess.Popen([args.reader, '--console', '--port', port] + readerargs,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    t0 = time.monotonic()
    out = b''
    while time.monotonic() - t0 < args.secs:
        r = select.select([rd.stdout], [], [], 0.1)[0]
        if r:
            chunk = os.read(rd.stdout.fileno(), 65536)
            if not chunk:
                break
            out += chunk
    rd.send_signal(signal.SIGTERM)
    o, e = rd.communicate(timeout=10)
    out += o
    sim.send_signal(signal.SIGTERM)
    so, se = sim.communicate(timeout=10)
    if server:
        server.send_signal(signal.SIGTERM)
        server.wait(timeout=10)
    sent = collections.Counter()
    byvalue = collections.defaultdict(set)
    for line in open(log):
        parts = line.split()
        if len(parts) == 1:
            parts = ['?'] + parts
        a, v = parts
        sent[(a, v)] += 1
        byvalue[v].add(a)
    shown = collections.Counter()
    for line in out.decode().splitlines():
        parts = line.split()
        if len(parts) == 1:
            parts = ['?'] + parts
        shown[tuple(parts[:2])] += 1
    wrong = never = twice = 0
    bad = []
    for (a, v), n in shown.items():
        if sent[(a, v)] == 0:
            if byvalue[v]:
                wrong += n
                bad.append('%s %s (sent by %s)' % (a, v, ','.join(sorted(byvalue[v]))))
            else:
                never += n
                bad.append('%s %s (never sent)' % (a, v))
        elif n > sent[(a, v)]:
            twice += n - sent[(a, v)]
            bad.append('%s %s x%d (sent %d)' % (a, v, n, sent[(a, v)]))
    per = collections.Counter(a for (a, v) in shown.elements())
    open(os.path.join(tmp,'err'),'w').write(e.decode()); open(os.path.join(tmp,'out'),'w').write(out.decode())
    return dict(wrong=wrong, never=never, twice=twice, per=dict(per), bad=bad, err=e.decode(), tmp=tmp,
                simsum=so.decode().strip().splitlines()[-1] if so else '')


tot = collections.Counter()
for case in args.cases:
    simtext, _, readertext = case.partition('|')
    simargs, readerargs = simtext.split(), readertext.split()
    if '--address' not in simargs:
        simargs += ['--address', readerargs[readerargs.index('--address') + 1]]
    for seed in seeds(args.seeds):
        r = run(simargs, readerargs, seed)
        rate = ' '.join('%s:%.1f/s' % (a, n / args.secs) for a, n in sorted(r['per'].items()))
        flag = '!!' if r['wrong'] or r['never'] or r['twice'] else '  '
        print('%s [%s] seed %d via %s: wrong %d never %d twice %d | %s' % (
            flag, case.strip(), seed, args.via, r['wrong'], r['never'], r['twice'], rate), flush=True)
        if flag == '!!' or args.verbose:
            for b in r['bad'][:8]:
                print('      ', b)
            print('       the run: ', r['tmp'])  # the log, trace, output and stderr
        else:
            shutil.rmtree(r['tmp'], ignore_errors=True)
        tot['wrong'] += r['wrong']
        tot['never'] += r['never']
        tot['twice'] += r['twice']
print('TOTAL', dict(tot))
