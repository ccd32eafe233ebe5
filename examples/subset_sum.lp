% The subsets of {1..n} whose elements add up to a target, e.g. the ways to
% make up an amount from coins of value 1..n, each used at most once.
%
% Run:      powerfacts 6 | clingo - examples/subset_sum.lp
% Expected: match(15) match(22) match(25) match(37) match(40) ways(5)
%
% They are {1,2,3,4}, {2,3,5}, {1,4,5}, {1,3,6} and {4,6}.

#const target = 10.

subset(S) :- powerSet(S,_).
sum(S,T) :- subset(S), T = #sum { E : powerSet(S,E) }.
match(S) :- sum(S,target).
ways(W) :- W = #count { S : match(S) }.

#show match/1.
#show ways/1.
