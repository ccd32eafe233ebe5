% The power set made inside the grounder, for bench/alternatives: the facts
% powerfacts writes, derived from n alone (clingo -c n=N --text).
powerSet(S, J) :- S = 1..2**n - 1, J = 1..n, (S / 2**(J - 1)) \ 2 = 1.
