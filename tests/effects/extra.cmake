# The whole-timeline golden test runs hazelglow-render on the generated data
# files, so building the test builds both.
add_dependencies(test_effects_slow hazelglow-render hazelglow-data)
