% The non-empty subsets of {1..n} closed under a relation: whenever X is in
% the subset and requires(X,Y), so is Y. Think of packages and their
% dependencies: these are the installations that are complete.
%
% Run:      powerfacts 5 | clingo - examples/closed_subsets.lp
% Expected: closed(4) closed(6) closed(7) closed(16) closed(20) closed(22) closed(23) closed(24) closed(28) closed(30) closed(31) count(11)
%
% 1 needs 2, 2 needs 3 and 4 needs 5: the chain 1-2-3 can be installed in
% 4 ways (none, {3}, {2,3}, {1,2,3}) and 4-5 in 3, so 4 * 3 - 1 = 11.

requires(1,2). requires(2,3). requires(4,5).

subset(S) :- powerSet(S,_).
broken(S) :- powerSet(S,X), requires(X,Y), not powerSet(S,Y).
closed(S) :- subset(S), not broken(S).
count(C) :- C = #count { S : closed(S) }.

#show closed/1.
#show count/1.
