% Reads the generated facts as a solver does and reports what they hold.
% Satisfiable only when every subset number lies in 1..p, every element in
% 1..n, and exactly p distinct subsets occur.
facts(F) :- F = #count { S,E : powerSet(S,E) }.
subsets(C) :- C = #count { S : powerSet(S,_) }.

:- powerSet(S,_), S < 1.
:- powerSet(S,_), S > p.
:- powerSet(_,E), E < 1.
:- powerSet(_,E), E > n.
:- subsets(C), C != p.

#show facts/1.
#show subsets/1.
