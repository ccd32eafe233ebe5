"""What a user might write instead of powerfacts: bench/alternatives times it."""
import sys

n = int(sys.argv[1])
write = sys.stdout.write
write(f"#const n = {n}.\n#const p = {2**n - 1}.\n")
for i in range(1, 2**n):
    for j in range(n):
        if i >> j & 1:
            write(f"powerSet({i},{j + 1}).\n")
