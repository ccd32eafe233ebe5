% The smallest subset of {1..n} that meets every set of a family: a minimum
% hitting set, e.g. the fewest sensors that watch every corridor.
%
% Run:      powerfacts 6 | clingo - examples/hitting_set.lp
% Expected: pick(18) chosen(2) chosen(5)
%
% Subset 18 (bits 1 and 4) is {2,5}, the only hitting set of size 2.

family(a;b;c;d;e).
member(a,1). member(a,2).
member(b,2). member(b,3).
member(c,2). member(c,4).
member(d,4). member(d,5).
member(e,5). member(e,6).

subset(S) :- powerSet(S,_).
1 { pick(S) : subset(S) } 1.
chosen(E) :- pick(S), powerSet(S,E).

hit(F) :- family(F), member(F,E), chosen(E).
:- family(F), not hit(F).

#minimize { 1,E : chosen(E) }.

#show pick/1.
#show chosen/1.
