"""What the tests share: the checks they make (checks), the hostile arguments
they pass (arguments), the scalar reference of the whole algorithm (oracle,
with crmath for its correctly rounded cos, sin and atan2), the builder of
vectors with chosen phases (vectors), and the two test libraries that also run
on their own for long sessions (leakhunt, fuzz_api)."""
