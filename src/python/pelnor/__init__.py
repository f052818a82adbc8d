# The pelnor package: the compiled module _pelnor, whose names it hands on as its own, and pure-Python
# parts beside it; pelnor.dask is imported only when asked for, so import pelnor needs nothing but
# NumPy.
from pelnor import _pelnor
from pelnor._pelnor import *  # noqa: F401,F403

__doc__ = _pelnor.__doc__
__version__ = _pelnor.__version__
__all__ = [name for name in dir(_pelnor) if not name.startswith("_")]


def __getattr__(name):
    # pelnor.dask, imported on first use; its own import raises ImportError where Dask is missing.
    if name == "dask":
        import importlib

        return importlib.import_module("pelnor.dask")
    raise AttributeError(f"module 'pelnor' has no attribute {name!r}")
