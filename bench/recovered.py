"""The originals an engine output folder holds byte for byte, and its false outputs.

    recovered.py <card name> <originals folder (with manifest.tsv)> <output folder>

Prints "<exact> <originals to recover> <false>": the deleted originals (on a card named
*-quick, quick-formatted after use, every file) found among the outputs, how many there
are, and the outputs that match no original and are not cut from one either.
"""
import csv, hashlib, os, sys

card, originals, out = sys.argv[1:]
manifest = list(csv.DictReader(open(os.path.join(originals, 'manifest.tsv')), delimiter='\t'))
wanted = {r['sha256'] for r in manifest if card.endswith('-quick') or r['deleted'] == '1'}
every, heads = {r['sha256'] for r in manifest}, {}
for r in manifest:
    data = open(os.path.join(originals, 'files', r['name']), 'rb').read()
    heads.setdefault(data[:512], []).append(data)
got, false = set(), 0
for base, _, names in os.walk(out):
    for n in names:
        data = open(os.path.join(base, n), 'rb').read()
        h = hashlib.sha256(data).hexdigest()
        got.add(h)
        if h not in every and not any(o.startswith(data) for o in heads.get(data[:512], [])):
            false += 1
print(len(wanted & got), len(wanted), false)
