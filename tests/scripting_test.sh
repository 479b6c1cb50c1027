#!/usr/bin/env bash
# The scripting recipes of the README and the manual, run as a script would:
# the exit status tells failure, counts go in front of a plain grid, and a
# matrix goes to numpy and back (where python3 has numpy).
#   scripting_test.sh COMMAND_DIR
set -euo pipefail
export PATH="$1:$PATH"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# Counts in front of a grid, as other tools write grids: commas, CRLF line
# ends, blank lines and a header line as a spreadsheet's export has them.
counted() {
  awk '{ sub(/\r$/, ""); gsub(/,/, " ") } /^[ \t]*[-+.0-9]/ { row[++n] = $0; cols = NF } END { print n, cols; for (i = 1; i <= n; i++) print row[i] }'
}

printf '2 1\n1 1\n' > plain.txt
[ "$(counted < plain.txt | quolvend -D -)" = "Determinant = 1.000000" ] || { echo "grid recipe"; exit 1; }
printf 'x,y\r\n\r\n4,7\r\n2,6\r\n\r\n' > values.csv
[ "$(counted < values.csv | quolvend -i -)" = $'0.600\t-0.700\t\n-0.200\t0.400\t' ] ||
  { echo "comma-separated recipe"; exit 1; }

# Every failure is status 1, its message on standard output.
printf '2 2 1 2 2 4\n' > singular.txt
if out=$(quolvend -i singular.txt); then echo "a singular inverse succeeded"; exit 1; fi
[ "$out" = "Matrix not Invertable" ] || { echo "message: '$out'"; exit 1; }

# A chained run: the output is a grid without counts, three decimals an element.
counted < plain.txt > counted.txt
[ "$(quolvend -i counted.txt | counted | quolvend -i -)" = $'2.000\t1.000\t\n1.000\t1.000\t' ] ||
  { echo "chained inverse"; exit 1; }

# The first Python with numpy: the one on the PATH, or the system's.
python=""
for candidate in python3 /usr/bin/python3; do
  if "$candidate" -c 'import numpy' 2> /dev/null; then python=$candidate; break; fi
done
if [ -n "$python" ]; then
  "$python" - <<'PY'
import subprocess
import numpy as np
rng = np.random.default_rng(1)
a = rng.uniform(-1, 1, (40, 40))
# The header line is the counts, with no comment mark before it.
np.savetxt("a.txt", a, fmt="%.6f", header=f"{a.shape[0]} {a.shape[1]}", comments="")
out = subprocess.run(["quolvend", "-i", "a.txt"], capture_output=True, text=True, check=True).stdout
inverse = np.loadtxt(out.splitlines())
residual = np.abs(np.loadtxt("a.txt", skiprows=1) @ inverse - np.eye(40)).max()
# Three decimals leave an error of up to 0.0005 an element of the inverse.
assert residual < 40 * 0.0005 * np.abs(a).max() * 2, residual
PY
  echo "recipes and the numpy round trip hold"
else
  echo "recipes hold (numpy missing: no round trip)"
fi
