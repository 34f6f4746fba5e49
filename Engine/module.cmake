# The engine records which instkit version installed a product.
target_compile_definitions(instkit_objects PRIVATE INSTKIT_ENGINE_VERSION="${PROJECT_VERSION}")
