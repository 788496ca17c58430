# The whole-timeline golden test runs hazelglow-render on the generated data
# files, so building the test builds both.
add_dependencies(test_effects_slow hazelglow-render hazelglow-data)
# It also checks that the font the text pictures are drawn from is the one
# the golden frames were made with.
target_compile_definitions(test_effects_slow PRIVATE HAZELGLOW_TEXT_FONT="${HAZELGLOW_TEXT_FONT}")
